// A frame of 2,000 small draws, each changing shader and a vertex constant, with the texture
// changing every 3rd draw and the declaration every 7th: through the device layer, and the
// same frame as a careful program would write it in plain GL 4.5, in one process.
//
// BM_LayerOverDirect is the yardstick: it alternates the two frames (A B B A, so drift and
// other work on the machine fall on both sides alike) and reports the median frame of each
// side and their ratio. Frames are timed by the wall clock up to a fence wait at their end,
// so the driver's own threads are counted. The two single-side benchmarks are for profiling.
//
// How the plain-GL frame is built, and why (measured on Mesa llvmpipe 22.3, which runs the
// vertex stage inside each draw call and bins the rest into a scene that its threads
// rasterise):
// - Program pipelines and one vertex array per declaration, with its formats and vertex
//   buffer, are made once; only a changed texture or vertex array is rebound. The sampler
//   object on unit 0 is the layer's (the two sides share one context).
// - Constants: one uniform buffer per stage, bound once; each draw writes the one register
//   it changes with glNamedBufferSubData. That never waits: Mesa consumes vertex constants
//   during the draw call and keeps its own copy of pixel constants, and GPU drivers stream
//   small updates through their command buffers. Measured against it: binding a new range
//   of a persistently mapped ring per draw (the best method on many GPU drivers) cost
//   10-15% more on llvmpipe, because every uniform-buffer binding makes Mesa revalidate the
//   uniform buffers of all stages, pixel constants included; writing the whole 4 KiB block,
//   or orphaning it with glNamedBufferData, cost the same as one register here, but moves
//   256 times the bytes (and renames the buffer on every draw), which a GPU would pay for.
// - No glFlush inside the frame on either side: a flush every 256 or 500 draws saved 0-25%
//   of the wall time from run to run and no CPU time, it would apply to both sides alike,
//   and llvmpipe already starts rasterising at every render-target change of a real frame.
// - The frame ends with the same fence wait as flush_gpu.
// Both sides draw into the same target and must produce the same pixels (checked once).
//
// Each state change costs llvmpipe a copy of its fragment state into the scene: a 2,000-draw
// frame holds some 70 MB of heap (about 35 KiB a draw) that the driver frees afterwards. With
// glibc's default trim threshold that memory goes back to the kernel and is faulted in again
// on the next frame, which made single frames take 20-30 times their usual time at random;
// the process keeps it instead (mallopt below), so both sides are timed without that noise.
#include "platform/paths.h"
#include "render/buffers.h"
#include "render/device.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "render/vertex_decl.h"

#include <SDL.h>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <epoxy/gl.h>
#include <malloc.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {
constexpr int DRAWS = 2000, SHADERS = 8, TEXTURES = 8, DECLS = 4, SIZE = 256;
constexpr int VS_REGS = 257, PS_REGS = 225; // the layer's blocks, fix-up register included

const char* SHADER_TEXT = R"(
#ifdef VSH
in vec4 POSITION;
in vec4 COLOR;
VARYING vec4 col;
void vsh() { gl_Position = vec4(POSITION.xy * 0.01 + vc[16].xy, 0.0, 1.0); col = COLOR * %d.0; }
#endif
#ifdef PSH
layout(binding = 0) uniform sampler2D tex0;
VARYING vec4 col;
void psh() { oC0 = col * texture(tex0, vec2(0.5)); }
#endif
)";

// What the plain-GL frame owns.
struct DirectGl {
    GLuint vaos[DECLS] = {};
    GLuint vs_ubo = 0, ps_ubo = 0, fbo = 0;
    GLuint pipelines[SHADERS] = {};
    GLuint textures[TEXTURES] = {};
};

struct Scene {
    SDL_Window* window = nullptr;
    Shader* shaders[SHADERS] = {};
    Texture* textures[TEXTURES] = {};
    VertexDecl* decls[DECLS] = {};
    GpuBuffer* vb = nullptr;
    Texture* target = nullptr;
    DirectGl gl;
    const char* error = nullptr; // why the scene cannot be used
    bool opened = false;
};

Scene scene;

void offset_of(int i, float* c) {
    c[0] = float(i % 50) / 25.0f - 1.0f;
    c[1] = float(i / 50) / 20.0f - 1.0f;
    c[2] = c[3] = 0.0f;
}

void wait_for_gpu() {
    GLsync f = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    while (glClientWaitSync(f, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000ull) == GL_TIMEOUT_EXPIRED) {
    }
    glDeleteSync(f);
}

void device_frame() {
    set_cull_mode(0);
    set_render_target(scene.target, 0, false);
    clear_view(0xff000000);
    set_vb(0, scene.vb, 0, 16);
    for (int i = 0; i < DRAWS; ++i) {
        float c[4];
        offset_of(i, c);
        set_shader(scene.shaders[i % SHADERS]);
        bind_texture(0, scene.textures[(i / 3) % TEXTURES]);
        set_vertex_decl(scene.decls[(i / 7) % DECLS]);
        set_vs_consts(16, c, 1);
        draw_prim(PRIM_TRIANGLELIST, 0, 1);
    }
    flush_gpu();
}

// The plain-GL frame shares the layer's context: it saves the bindings the layer keeps
// track of and puts them back, so neither side disturbs the other.
void direct_frame() {
    const DirectGl& g = scene.gl;
    GLint fbo = 0, vao = 0, pipeline = 0, tex = 0, vs = 0, ps = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &fbo);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
    glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &pipeline);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &tex);
    glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, 0, &vs);
    glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, 1, &ps);

    glBindFramebuffer(GL_FRAMEBUFFER, g.fbo);
    glViewport(0, 0, SIZE, SIZE);
    glDisable(GL_CULL_FACE);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, g.vs_ubo);
    glBindBufferBase(GL_UNIFORM_BUFFER, 1, g.ps_ubo);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    int cur_tex = -1, cur_vao = -1;
    for (int i = 0; i < DRAWS; ++i) {
        float c[4];
        offset_of(i, c);
        glBindProgramPipeline(g.pipelines[i % SHADERS]);
        if (int t = (i / 3) % TEXTURES; t != cur_tex) {
            glBindTextureUnit(0, g.textures[t]);
            cur_tex = t;
        }
        if (int d = (i / 7) % DECLS; d != cur_vao) {
            glBindVertexArray(g.vaos[d]);
            cur_vao = d;
        }
        glNamedBufferSubData(g.vs_ubo, 16 * 16, 16, c);
        glDrawArrays(GL_TRIANGLES, 0, 3);
    }
    wait_for_gpu();

    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(fbo));
    glBindVertexArray(GLuint(vao));
    glBindProgramPipeline(GLuint(pipeline));
    glBindTextureUnit(0, GLuint(tex));
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, GLuint(vs));
    glBindBufferBase(GL_UNIFORM_BUFFER, 1, GLuint(ps));
}

// The plain-GL objects: what a program would build at load time.
bool build_direct_gl() {
    DirectGl& g = scene.gl;
    for (int i = 0; i < SHADERS; ++i) g.pipelines[i] = scene.shaders[i]->pipeline;
    for (int i = 0; i < TEXTURES; ++i) g.textures[i] = scene.textures[i]->gl_tex;
    // The shaders read POSITION and COLOR; the declarations' other elements are not fed.
    GLuint vprog = scene.shaders[0]->vprog;
    GLint pos = glGetProgramResourceLocation(vprog, GL_PROGRAM_INPUT, "POSITION");
    GLint col = glGetProgramResourceLocation(vprog, GL_PROGRAM_INPUT, "COLOR");
    for (int i = 1; i < SHADERS; ++i)
        if (glGetProgramResourceLocation(scene.shaders[i]->vprog, GL_PROGRAM_INPUT, "POSITION") !=
                pos ||
            glGetProgramResourceLocation(scene.shaders[i]->vprog, GL_PROGRAM_INPUT, "COLOR") != col)
            return false;
    if (pos < 0 || col < 0) return false;
    glCreateVertexArrays(DECLS, g.vaos);
    for (int d = 0; d < DECLS; ++d) {
        glEnableVertexArrayAttrib(g.vaos[d], GLuint(pos));
        glVertexArrayAttribFormat(g.vaos[d], GLuint(pos), d == 1 ? 2 : 3, GL_FLOAT, GL_FALSE, 0);
        glVertexArrayAttribBinding(g.vaos[d], GLuint(pos), 0);
        glEnableVertexArrayAttrib(g.vaos[d], GLuint(col));
        glVertexArrayAttribFormat(g.vaos[d], GLuint(col), GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 12);
        glVertexArrayAttribBinding(g.vaos[d], GLuint(col), 0);
        glVertexArrayVertexBuffer(g.vaos[d], 0, scene.vb->gl_buf, 0, 16);
    }
    // Register contents as the layer has them: zero but the half-pixel fix-up of the target.
    std::vector<float> vs(VS_REGS * 4, 0.0f), ps(PS_REGS * 4, 0.0f);
    vs[256 * 4 + 0] = 1.0f / SIZE;
    vs[256 * 4 + 1] = -1.0f / SIZE;
    glCreateBuffers(1, &g.vs_ubo);
    glNamedBufferStorage(g.vs_ubo, VS_REGS * 16, vs.data(), GL_DYNAMIC_STORAGE_BIT);
    glCreateBuffers(1, &g.ps_ubo);
    glNamedBufferStorage(g.ps_ubo, PS_REGS * 16, ps.data(), GL_DYNAMIC_STORAGE_BIT);
    glCreateFramebuffers(1, &g.fbo);
    glNamedFramebufferTexture(g.fbo, GL_COLOR_ATTACHMENT0, scene.target->gl_tex, 0);
    return glCheckNamedFramebufferStatus(g.fbo, GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

std::vector<uint32_t> read_target() {
    std::vector<uint32_t> px(SIZE * SIZE);
    glGetTextureImage(scene.target->gl_tex, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                      GLsizei(px.size() * 4), px.data());
    return px;
}

const char* open_scene() {
    if (scene.opened) return scene.error;
    scene.opened = true;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("VELTMOOR_NO_DIALOGS", "1", 0);
    char dir[] = "/tmp/render_bench_XXXXXX";
    if (!mkdtemp(dir)) return scene.error = "no temporary folder";
    snprintf(app_path, sizeof(app_path), "%s/", dir);
    mkdir((std::string(dir) + "/cache").c_str(), 0755);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return scene.error = "no video";
    scene.window =
        SDL_CreateWindow("bench", 0, 0, SIZE, SIZE, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    app_use_vsync = false;
    if (!scene.window || !init_d3d(scene.window, SIZE, SIZE)) return scene.error = "no GL 4.5";
    for (int i = 0; i < SHADERS; ++i) {
        char name[32], text[1024];
        snprintf(name, sizeof(name), "bench%d.sh", i);
        snprintf(text, sizeof(text), SHADER_TEXT, i + 1);
        FILE* f = fopen((std::string(dir) + "/" + name).c_str(), "wb");
        if (!f) return scene.error = "cannot write shaders";
        fputs(text, f);
        fclose(f);
        if (!(scene.shaders[i] = get_shader(name))) return scene.error = "shader failed";
    }
    for (int i = 0; i < TEXTURES; ++i) {
        scene.textures[i] = create_managed_texture(4, 4);
        int pitch;
        auto* p = static_cast<uint32_t*>(lock_texture(scene.textures[i], pitch, true));
        for (int j = 0; j < 16; ++j) p[j] = 0xff000000u | uint32_t((i + 1) * 0x1f1f1f);
        unlock_texture(scene.textures[i]);
    }
    // Four layouts of the same 16-byte vertex; the extra elements are not read.
    const VertexElementDesc layouts[DECLS][4] = {
        {{0, 0, VSD_FLOAT3, VSD_POSITION, 0}, {12, 0, VSD_COLOR32, VSD_COLOR, 0}, VSD_END},
        {{0, 0, VSD_FLOAT2, VSD_POSITION, 0}, {12, 0, VSD_COLOR32, VSD_COLOR, 0}, VSD_END},
        {{0, 0, VSD_FLOAT3, VSD_POSITION, 0},
         {12, 0, VSD_COLOR32, VSD_COLOR, 0},
         {8, 0, VSD_FLOAT1, VSD_TEXCOORD, 0},
         VSD_END},
        {{0, 0, VSD_FLOAT3, VSD_POSITION, 0},
         {12, 0, VSD_COLOR32, VSD_COLOR, 0},
         {0, 0, VSD_FLOAT2, VSD_TEXCOORD, 1},
         VSD_END},
    };
    for (int i = 0; i < DECLS; ++i) scene.decls[i] = get_vertex_decl(layouts[i]);
    struct V {
        float x, y, z;
        uint32_t c;
    } tri[3] = {{0, 0, 0, 0xff204080}, {1, 0, 0, 0xff204080}, {0, -1, 0, 0xff204080}};
    scene.vb = create_vb(sizeof(tri), BUF_STATIC);
    memcpy(lock_vb(scene.vb, 0, 0), tri, sizeof(tri));
    unlock_vb(scene.vb);
    scene.target = create_render_texture(SIZE, SIZE, 1);
    if (!scene.target || !build_direct_gl()) return scene.error = "cannot build the GL frame";
    // The first frames compile the driver's shader variants; neither side is charged for them.
    // Then both sides must have drawn the same picture.
    device_frame();
    std::vector<uint32_t> layer = read_target();
    direct_frame();
    std::vector<uint32_t> direct = read_target();
    if (layer != direct) return scene.error = "the two frames differ";
    if (SIZE * SIZE - std::count(layer.begin(), layer.end(), 0xff000000u) < DRAWS / 2)
        return scene.error = "the frame is nearly empty";
    for (int i = 0; i < 2; ++i) {
        device_frame();
        direct_frame();
    }
    return nullptr;
}

double now_ms(clockid_t clock) {
    timespec t;
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

struct FrameTime {
    double wall, cpu;
};

// Wall time, and the CPU time of the whole process (the driver's threads included), which
// other work on a shared machine disturbs less.
FrameTime time_frame(void (*frame)()) {
    double w = now_ms(CLOCK_MONOTONIC), c = now_ms(CLOCK_PROCESS_CPUTIME_ID);
    frame();
    return {now_ms(CLOCK_MONOTONIC) - w, now_ms(CLOCK_PROCESS_CPUTIME_ID) - c};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

void BM_LayerOverDirect(benchmark::State& state) {
    if (const char* e = open_scene()) {
        state.SkipWithError(e);
        return;
    }
    std::vector<double> layer, direct, layer_cpu, direct_cpu;
    bool layer_first = true;
    for (auto _ : state) {
        FrameTime l, d;
        if (layer_first) {
            l = time_frame(device_frame);
            d = time_frame(direct_frame);
        } else {
            d = time_frame(direct_frame);
            l = time_frame(device_frame);
        }
        layer_first = !layer_first;
        layer.push_back(l.wall);
        direct.push_back(d.wall);
        layer_cpu.push_back(l.cpu);
        direct_cpu.push_back(d.cpu);
        state.SetIterationTime((l.wall + d.wall) * 1e-3);
    }
    double ml = median(layer), md = median(direct);
    double cl = median(layer_cpu), cd = median(direct_cpu);
    state.counters["layer_ms"] = ml;
    state.counters["direct_ms"] = md;
    state.counters["ratio"] = md > 0 ? ml / md : 0.0;
    state.counters["layer_cpu_ms"] = cl;
    state.counters["direct_cpu_ms"] = cd;
    state.counters["cpu_ratio"] = cd > 0 ? cl / cd : 0.0;
    state.SetItemsProcessed(state.iterations() * DRAWS * 2);
}
BENCHMARK(BM_LayerOverDirect)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);

void BM_DeviceLayerFrame(benchmark::State& state) {
    if (const char* e = open_scene()) {
        state.SkipWithError(e);
        return;
    }
    for (auto _ : state) device_frame();
    state.SetItemsProcessed(state.iterations() * DRAWS);
}
BENCHMARK(BM_DeviceLayerFrame)->Unit(benchmark::kMillisecond);

void BM_DirectGlFrame(benchmark::State& state) {
    if (const char* e = open_scene()) {
        state.SkipWithError(e);
        return;
    }
    for (auto _ : state) direct_frame();
    state.SetItemsProcessed(state.iterations() * DRAWS);
}
BENCHMARK(BM_DirectGlFrame)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv) {
    // See the top of the file: keep the driver's per-frame memory instead of trimming it.
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (scene.opened && !scene.error) {
        DirectGl& g = scene.gl;
        glDeleteVertexArrays(DECLS, g.vaos);
        glDeleteBuffers(1, &g.vs_ubo);
        glDeleteBuffers(1, &g.ps_ubo);
        glDeleteFramebuffers(1, &g.fbo);
        close_d3d();
    }
    return 0;
}
