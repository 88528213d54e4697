// A frame of 2,000 small draws, each changing shader, texture, declaration and a constant:
// through the device layer, and the same work as plain GL calls for comparison.
#include "platform/paths.h"
#include "render/buffers.h"
#include "render/device.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "render/vertex_decl.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <epoxy/gl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {
constexpr int DRAWS = 2000, SHADERS = 8, TEXTURES = 8, DECLS = 4;

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

struct Scene {
    SDL_Window* window = nullptr;
    Shader* shaders[SHADERS] = {};
    Texture* textures[TEXTURES] = {};
    VertexDecl* decls[DECLS] = {};
    GpuBuffer* vb = nullptr;
    Texture* target = nullptr;
    bool ok = false;
};

Scene scene;

bool open_scene() {
    if (scene.ok) return true;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("VELTMOOR_NO_DIALOGS", "1", 0);
    char dir[] = "/tmp/render_bench_XXXXXX";
    if (!mkdtemp(dir)) return false;
    snprintf(app_path, sizeof(app_path), "%s/", dir);
    mkdir((std::string(dir) + "/cache").c_str(), 0755);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
    scene.window = SDL_CreateWindow("bench", 0, 0, 256, 256, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    app_use_vsync = false;
    if (!scene.window || !init_d3d(scene.window, 256, 256)) return false;
    for (int i = 0; i < SHADERS; ++i) {
        char name[32], text[1024];
        snprintf(name, sizeof(name), "bench%d.sh", i);
        snprintf(text, sizeof(text), SHADER_TEXT, i + 1);
        FILE* f = fopen((std::string(dir) + "/" + name).c_str(), "wb");
        fputs(text, f);
        fclose(f);
        scene.shaders[i] = get_shader(name);
    }
    for (int i = 0; i < TEXTURES; ++i) {
        scene.textures[i] = create_managed_texture(4, 4);
        int pitch;
        auto* p = static_cast<uint32_t*>(lock_texture(scene.textures[i], pitch, true));
        for (int j = 0; j < 16; ++j) p[j] = 0xff000000u | uint32_t(i * 0x111111);
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
    } tri[3] = {{0, 0, 0, 0xffffffff}, {1, 0, 0, 0xffffffff}, {0, -1, 0, 0xffffffff}};
    scene.vb = create_vb(sizeof(tri), BUF_STATIC);
    memcpy(lock_vb(scene.vb, 0, 0), tri, sizeof(tri));
    unlock_vb(scene.vb);
    scene.target = create_render_texture(256, 256, 1);
    scene.ok = true;
    return true;
}

void offset_of(int i, float* c) {
    c[0] = float(i % 50) / 25.0f - 1.0f;
    c[1] = float(i / 50) / 20.0f - 1.0f;
    c[2] = c[3] = 0.0f;
}

void BM_DeviceLayerFrame(benchmark::State& state) {
    if (!open_scene()) {
        state.SkipWithError("no GL 4.5 context");
        return;
    }
    set_cull_mode(0);
    for (auto _ : state) {
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
    state.SetItemsProcessed(state.iterations() * DRAWS);
}
BENCHMARK(BM_DeviceLayerFrame)->Unit(benchmark::kMillisecond);

// The same frame as bare GL: pipelines, vertex arrays and a constant ring built once.
void BM_DirectGlFrame(benchmark::State& state) {
    if (!open_scene()) {
        state.SkipWithError("no GL 4.5 context");
        return;
    }
    GLuint vaos[DECLS];
    glCreateVertexArrays(DECLS, vaos);
    for (int d = 0; d < DECLS; ++d) {
        glEnableVertexArrayAttrib(vaos[d], 0);
        glVertexArrayAttribFormat(vaos[d], 0, d == 1 ? 2 : 3, GL_FLOAT, GL_FALSE, 0);
        glVertexArrayAttribBinding(vaos[d], 0, 0);
        glEnableVertexArrayAttrib(vaos[d], 1);
        glVertexArrayAttribFormat(vaos[d], 1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 12);
        glVertexArrayAttribBinding(vaos[d], 1, 0);
        glVertexArrayVertexBuffer(vaos[d], 0, scene.vb->gl_buf, 0, 16);
    }
    // Locations as the shaders were linked (both inputs, same for every shader).
    GLint pos_loc =
        glGetProgramResourceLocation(scene.shaders[0]->vprog, GL_PROGRAM_INPUT, "POSITION");
    GLint col_loc =
        glGetProgramResourceLocation(scene.shaders[0]->vprog, GL_PROGRAM_INPUT, "COLOR");
    if (pos_loc != 0 || col_loc != 1) {
        for (int d = 0; d < DECLS; ++d) {
            glVertexArrayAttribBinding(vaos[d], GLuint(pos_loc), 0);
            glVertexArrayAttribBinding(vaos[d], GLuint(col_loc), 0);
        }
    }
    // Constants go through small persistently mapped buffers, as the layer does.
    const GLsizeiptr block = 257 * 16, stride = 4352, chunk = 256 << 10;
    const int per_chunk = int(chunk / stride), chunks = DRAWS / per_chunk + 1;
    std::vector<GLuint> ring = std::vector<GLuint>(size_t(chunks));
    std::vector<uint8_t*> map = std::vector<uint8_t*>(size_t(chunks));
    glCreateBuffers(chunks, ring.data());
    GLbitfield flags = GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
    for (int i = 0; i < chunks; ++i) {
        glNamedBufferStorage(ring[size_t(i)], chunk, nullptr, flags);
        map[size_t(i)] =
            static_cast<uint8_t*>(glMapNamedBufferRange(ring[size_t(i)], 0, chunk, flags));
        memset(map[size_t(i)], 0, size_t(chunk));
    }
    static float regs[257 * 4];
    glBindBufferRange(GL_UNIFORM_BUFFER, 1, ring[0], 0, 225 * 16);
    GLuint fbo;
    glCreateFramebuffers(1, &fbo);
    glNamedFramebufferTexture(fbo, GL_COLOR_ATTACHMENT0, scene.target->gl_tex, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glViewport(0, 0, 256, 256);
    for (auto _ : state) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        for (int i = 0; i < DRAWS; ++i) {
            offset_of(i, regs + 16 * 4);
            glBindProgramPipeline(scene.shaders[i % SHADERS]->pipeline);
            glBindTextureUnit(0, scene.textures[(i / 3) % TEXTURES]->gl_tex);
            glBindVertexArray(vaos[(i / 7) % DECLS]);
            int c = i / per_chunk;
            GLintptr off = GLintptr(i % per_chunk) * stride;
            memcpy(map[size_t(c)] + off, regs, size_t(block));
            glBindBufferRange(GL_UNIFORM_BUFFER, 0, ring[size_t(c)], off, block);
            glDrawArrays(GL_TRIANGLES, 0, 3);
        }
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * DRAWS);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &fbo);
    for (GLuint b : ring) glUnmapNamedBuffer(b);
    glDeleteBuffers(chunks, ring.data());
    glDeleteVertexArrays(DECLS, vaos);
    glBindVertexArray(0);
}
BENCHMARK(BM_DirectGlFrame)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
