// Frame time of both paths at 1280 x 720 on whatever GL the machine has (Mesa's software
// rasteriser on the build machines), with the full post-effect chain, waited for on the GPU.
// Arg 0: the quality path (0 low, 1 high); arg 1: MLAA off/on. The yardstick, drawn before
// each frame, is a bare 256 x 256 grid of the world's heights (the floor for the land mesh)
// into a depth-tested target: x_grid = frame / grid time, aa_share = MLAA's part of the
// frame, summed in one line at the end.
#include "platform/heap_setup.h"
#include "platform/paths.h"
#include "render/buffers.h"
#include "render/device.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/shaders.h"
#include "render/vertex_decl.h"
#include "scene/heightmap_renderer.h"
#include "scene/pipeline/postfx.h"
#include "scene/pipeline/scene_high.h"
#include "scene/pipeline/shadows.h"
#include "scene/scene_camera.h"
#include "scene/scene_render.h"
#include "scene/sky.h"
#include "tools/texgen/tex_noise.h"
#include "world/heightmap.h"
#include "world/sample_world.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <epoxy/gl.h>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>

bool isFullscreen = false;

namespace {

using HR = HeightmapRenderer;

// VELTMOOR_DATA_DIR in the environment points an older build at its own shaders.
const char* data_dir() {
    const char* env = getenv("VELTMOOR_DATA_DIR");
    return env && *env ? env : VELTMOOR_DATA_DIR;
}

bool install_data(const std::string& dir) {
    DIR* d = opendir(data_dir());
    if (!d) return false;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() < 4) continue;
        std::string ext = name.substr(name.size() - 3);
        if (ext != ".sh" && ext != "inc" && ext != "nut") continue;
        std::ifstream in(std::string(data_dir()) + "/" + name, std::ios::binary);
        std::ofstream out(dir + name, std::ios::binary);
        out << in.rdbuf();
    }
    closedir(d);
    return write_file(dir + "detail.dds", encode_dds(make_mip_chain(make_detail_texture(256)))) &&
           write_file(dir + "foam.dds", encode_dds(make_mip_chain(make_foam_texture(256))));
}

void set_camera(const vec4f& pos, float yaw) {
    float pitch = -0.25f;
    vec4f f = make4f(sinf(yaw) * cosf(pitch), sinf(pitch), cosf(yaw) * cosf(pitch), 0);
    vec4f r = make4f(cosf(yaw), 0, -sinf(yaw), 0);
    vec4f u = make4f(f.y * r.z - f.z * r.y, f.z * r.x - f.x * r.z, f.x * r.y - f.y * r.x, 0);
    Matrix44 cam = {
        {{r.x, r.y, r.z, 0}, {u.x, u.y, u.z, 0}, {f.x, f.y, f.z, 0}, {pos.x, pos.y, pos.z, 1}}};
    Matrix44 view = {};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) view.m[i][j] = cam.m[j][i];
    for (int j = 0; j < 3; ++j)
        view.m[3][j] = -(pos.x * cam.m[j][0] + pos.y * cam.m[j][1] + pos.z * cam.m[j][2]);
    view.m[3][3] = 1;
    set_view_tm(view);
    set_proj_tm(1.2915436f, float(d3d_wd) / float(d3d_ht), 0.1f, 512.0f);
    Matrix44 glob;
    get_glob_tm(glob);
    set_vs_consts(0, &glob.m[0][0], 4);
    vec4f p4 = make4f(pos.x, pos.y, pos.z, 1);
    set_vs_consts(4, &p4.x, 1);
    set_scene_camera(cam);
}

// Twenty balls in front of the camera, as objects would cast them.
void cast_balls(float) {
    for (int i = 0; i < 20; ++i)
        render_shadow_ball(
            make4f(90.0f + float(i % 5) * 4.0f, 38.0f, 75.0f + float(i / 5) * 4.0f, 1), 1.0f);
}

// A device of the given size over a fresh data folder; null (and the state skipped) on failure.
SDL_Window* open_device(benchmark::State& state, int wd, int ht) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("VELTMOOR_NO_DIALOGS", "1", 0);
    std::string dir = "/tmp/veltmoor_pipeline_bench_XXXXXX";
    if (!mkdtemp(dir.data())) {
        state.SkipWithError("no temporary folder");
        return nullptr;
    }
    dir += "/";
    snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
    mkdir((dir + "cache").c_str(), 0755);
    if (!install_data(dir) || SDL_Init(SDL_INIT_VIDEO) != 0) {
        state.SkipWithError("no data or no video");
        return nullptr;
    }
    SDL_Window* w = SDL_CreateWindow("bench", 0, 0, wd, ht, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    app_use_vsync = false;
    if (!w || !init_d3d(w, wd, ht)) {
        state.SkipWithError("no device");
        return nullptr;
    }
    return w;
}

const char* GRID_SHADER = R"(
#ifdef VSH
in vec4 POSITION;
VARYING float shade;
void vsh() {
    vec4 p = vec4(POSITION.xyz, 1.0);
    gl_Position = p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + vc[3];
    shade = clamp(0.3 + p.y * 0.02, 0.0, 1.0);
}
#endif
#ifdef PSH
VARYING float shade;
void psh() {
    oC0 = vec4(shade, shade * 0.9, shade * 0.7, 1.0);
}
#endif
)";

// The yardstick: a 256 x 256 grid of the world's heights (130,050 triangles, the floor for
// the land mesh) with the frame's camera, into the back buffer with depth test and write.
struct BareGrid {
    Shader* sh = nullptr;
    GpuBuffer* vb = nullptr;
    GpuBuffer* ib = nullptr;
    static constexpr int N = HMAP_SIZE;

    void create() {
        std::ofstream(std::string(app_path) + "bare_grid.sh") << GRID_SHADER;
        sh = get_shader("bare_grid.sh");
        vb = create_vb(N * N * 12, BUF_STATIC);
        ib = create_ib((N - 1) * (N - 1) * 6, BUF_STATIC);
        float* v = static_cast<float*>(lock_vb(vb, 0, 0));
        for (int z = 0; z < N; ++z)
            for (int x = 0; x < N; ++x, v += 3) {
                v[0] = float(x);
                v[1] = HeightmapData::hmap[hm_index(x, z)];
                v[2] = float(z);
            }
        unlock_vb(vb);
        uint16_t* i = static_cast<uint16_t*>(lock_ib(ib, 0, 0));
        for (int z = 0; z + 1 < N; ++z)
            for (int x = 0; x + 1 < N; ++x, i += 6) {
                const uint16_t a = uint16_t(z * N + x), b = uint16_t(a + 1), c = uint16_t(a + N),
                               d = uint16_t(c + 1);
                i[0] = a, i[1] = c, i[2] = b, i[3] = b, i[4] = c, i[5] = d;
            }
        unlock_ib(ib);
    }
    void draw(float yaw) {
        static const VertexElementDesc decl[] = {{0, 0, VSD_FLOAT3, VSD_POSITION, 0}, VSD_END};
        begin_d3d_scene();
        set_backbuffer_target();
        clear_view(0xFF406080u);
        set_zenable(true);
        set_zwrite(true);
        set_stencil_test(0, 0, D3DCMP_ALWAYS);
        set_blend_none();
        set_color_write_mask(15);
        set_cull_mode(0);
        set_camera(make4f(90.0f, 40.0f, 60.0f, 1), yaw);
        set_shader(sh);
        set_vertex_decl(get_vertex_decl(decl));
        set_vb(0, vb, 0, 12);
        set_ib(ib);
        draw_indexed(PRIM_TRIANGLELIST, 0, 0, N * N, 0, (N - 1) * (N - 1) * 2);
        set_vb(0, nullptr, 0, 0);
        set_ib(nullptr);
        set_cull_mode(1);
        end_d3d_scene();
        flush_gpu();
    }
    void release() {
        release_vb(vb);
        release_ib(ib);
        release_shader(sh);
    }
};

// CPU seconds of the whole process (the software rasteriser's threads included): steadier
// than wall time on a shared machine.
double process_cpu_s() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

double seconds_since(std::chrono::steady_clock::time_point& t) {
    const auto now = std::chrono::steady_clock::now();
    const double s = std::chrono::duration<double>(now - t).count();
    t = now;
    return s;
}

// VELTMOOR_PASS_TIMES=1: the GPU is waited for after every pass, and each pass's wall and
// process CPU time printed per frame (the waits add a little to the frame), with the
// samples each pass wrote per screen pixel (its overdraw; a blit writes none).
struct PassTimes {
    static constexpr int MAX = 32;
    const char* name[MAX] = {};
    double s[MAX] = {}, cpu[MAX] = {}, samples[MAX] = {}, shaded[MAX] = {};
    int n = 0;
    std::chrono::steady_clock::time_point t;
    double cpu_t = 0;
    GLuint query = 0, invocations = 0;

    void start() {
        if (!query) glGenQueries(1, &query);
        if (!invocations) glGenQueries(1, &invocations);
        glBeginQuery(GL_SAMPLES_PASSED, query);
        glBeginQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB, invocations);
        t = std::chrono::steady_clock::now();
        cpu_t = process_cpu_s();
    }
    void stop() {
        glEndQuery(GL_SAMPLES_PASSED);
        glEndQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB);
        glDeleteQueries(1, &query);
        glDeleteQueries(1, &invocations);
        query = invocations = 0;
    }
    static PassTimes* active;
    static void done(const char* pass) {
        PassTimes& p = *active;
        glEndQuery(GL_SAMPLES_PASSED);
        glEndQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB);
        flush_gpu();
        const double dt = seconds_since(p.t), c = process_cpu_s();
        GLuint64 n = 0;
        glGetQueryObjectui64v(p.query, GL_QUERY_RESULT, &n);
        GLuint64 f = 0;
        glGetQueryObjectui64v(p.invocations, GL_QUERY_RESULT, &f);
        glBeginQuery(GL_SAMPLES_PASSED, p.query);
        glBeginQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB, p.invocations);
        int i = 0;
        while (i < p.n && strcmp(p.name[i], pass) != 0) ++i;
        if (i == p.n) {
            if (p.n == MAX) return;
            p.name[p.n++] = pass;
        }
        p.s[i] += dt;
        p.cpu[i] += c - p.cpu_t;
        p.samples[i] += double(n);
        p.shaded[i] += double(f);
        p.cpu_t = c;
    }
    void print(const char* bench, int frames, double grid_s, double grid_cpu) const {
        double sum = 0;
        for (int i = 0; i < n; ++i) sum += s[i];
        printf("passes of %s: ms per frame, share, wall and CPU time / the grid's, samples per "
               "pixel\n",
               bench);
        const double pixels = double(d3d_wd) * double(d3d_ht) * frames;
        for (int i = 0; i < n; ++i)
            printf("  %-22s %7.2f %5.1f%% %6.2f %6.2f %5.2f %5.2f\n", name[i],
                   1000.0 * s[i] / frames, 100.0 * s[i] / sum, s[i] / grid_s, cpu[i] / grid_cpu,
                   samples[i] / pixels, shaded[i] / pixels);
    }
};
PassTimes* PassTimes::active = nullptr;

// Each iteration draws the bare grid and then the frame, so both see the same load on a
// shared machine; the reported time is the frame's. MLAA is run and timed on its own
// before the copy to the back buffer, which is what apply_postfx_high would do.
void BM_Frame(benchmark::State& state, int wd, int ht) {
    SDL_Window* w = open_device(state, wd, ht);
    if (!w) return;
    const bool high = state.range(0) != 0;
    const bool aa = state.range(1) != 0;
    // Arg 2: a simulation step before every frame, as the game runs at 20 frames a second
    // (the land's maps go stale every step); its time counts towards the frame.
    const bool step = state.range(2) != 0;
    common_vb_writer.create(COMMON_VB_SIZE);
    generate_sample_world(7, 20000);
    init_sky();
    init_scene_tex();
    init_postfx_high();
    HR::init(high ? 1 : 0);
    if (high) {
        init_deferred_shaders();
        init_shadows();
        scene_render_actor_shadow = cast_balls;
    }
    BareGrid grid;
    grid.create();
    use_ppaa = false;
    double grid_s = 0, frame_s = 0, aa_s = 0, grid_cpu = 0, frame_cpu = 0;
    float yaw = 0.3f;
    static PassTimes passes;
    const char* pt = getenv("VELTMOOR_PASS_TIMES");
    const bool pass_times = pt && *pt == '1';
    // One frame and grid: [grid, frame, MLAA, grid CPU, frame CPU] seconds.
    auto one = [&](double out[5]) {
        auto t = std::chrono::steady_clock::now();
        double cpu = process_cpu_s();
        grid.draw(yaw);
        out[0] = seconds_since(t);
        out[3] = process_cpu_s() - cpu;
        cpu += out[3];
        if (step) {
            step_sky();
            HR::stepUpdate(0.05f);
            HeightmapData::updateHmap(0.05f);
            HeightmapData::simWater(0.05f);
        }
        if (PassTimes::active) passes.start();
        begin_d3d_scene();
        set_camera(make4f(90.0f, 40.0f, 60.0f, 1), yaw);
        yaw += 0.01f;
        update_sky(0.5f);
        HR::frameUpdate(0.025f);
        scene_pass_done("frame update");
        if (high)
            render_scene_high(0.025f, 0.5f);
        else
            render_scene_low(0.025f, 0.5f);
        out[1] = out[2] = 0;
        if (aa) {
            flush_gpu();
            out[1] += seconds_since(t);
            run_mlaa();
            flush_gpu();
            out[2] = seconds_since(t);
            out[1] += out[2];
        }
        apply_postfx_high();
        if (PassTimes::active) passes.stop();
        end_d3d_scene();
        flush_gpu();
        out[1] += seconds_since(t);
        out[4] = process_cpu_s() - cpu;
    };
    double warm[5];
    one(warm); // the driver compiles its shader variants on first use
    if (pass_times) {
        passes = PassTimes();
        PassTimes::active = &passes;
        scene_pass_done = PassTimes::done;
    }
    for (auto _ : state) {
        double s[5];
        one(s);
        grid_cpu += s[3];
        frame_cpu += s[4];
        grid_s += s[0];
        frame_s += s[1];
        aa_s += s[2];
        state.SetIterationTime(s[1]);
    }
    if (pass_times) {
        scene_pass_done = [](const char*) {};
        PassTimes::active = nullptr;
        char label[64];
        snprintf(label, sizeof(label), "%s, %s%s", high ? "high" : "low", aa ? "MLAA" : "no MLAA",
                 step ? ", step" : "");
        passes.print(label, int(state.iterations()), grid_s, grid_cpu);
    }
    state.counters["x_grid"] = grid_s > 0 ? frame_s / grid_s : 0;
    state.counters["x_grid_cpu"] = grid_cpu > 0 ? frame_cpu / grid_cpu : 0;
    state.counters["cpu_ms"] = 1000.0 * frame_cpu / double(state.iterations());
    state.counters["fps"] = frame_s > 0 ? double(state.iterations()) / frame_s : 0;
    state.counters["grid_ms"] = 1000.0 * grid_s / double(state.iterations());
    state.counters["aa_share"] = frame_s > 0 ? aa_s / frame_s : 0;
    state.counters["mlaa_passes"] = aa ? mlaa_passes : 0;
    state.counters["shadow_draws"] = shadow_draw_calls;
    state.counters["coarse_blocks"] = HR::coarse_blocks;
    grid.release();
    close_shadows();
    close_deferred_shaders();
    HR::close();
    close_postfx_high();
    close_scene_tex();
    close_sky();
    common_vb_writer.release();
    close_d3d();
    SDL_DestroyWindow(w);
    SDL_Quit();
}
BENCHMARK_CAPTURE(BM_Frame, 1280x720, 1280, 720)
    ->Args({0, 0, 0})
    ->Args({0, 1, 0})
    ->Args({1, 0, 0})
    ->Args({1, 1, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10);
// Where per-frame work that does not scale with pixels shows; with and without a
// simulation step per frame.
BENCHMARK_CAPTURE(BM_Frame, 640x360, 640, 360)
    ->Args({0, 0, 0})
    ->Args({0, 0, 1})
    ->Args({1, 1, 0})
    ->Args({1, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10);

// Keeps each run's counters for the summary.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, benchmark::UserCounters> runs;
    void ReportRuns(const std::vector<Run>& rs) override {
        ConsoleReporter::ReportRuns(rs);
        for (const Run& r : rs)
            if (!r.error_occurred && r.iterations > 0) runs[r.benchmark_name()] = r.counters;
    }
    double get(const std::string& name, const char* counter) {
        auto it = runs.find(name);
        if (it == runs.end()) return -1;
        auto c = it->second.find(counter);
        return c == it->second.end() ? -1 : double(c->second);
    }
};

} // namespace

int main(int argc, char** argv) {
    // As the game sets it up. Without it the high path's freed driver memory went back to the
    // kernel, and the grid drawn next paid for faulting it in again (twice its time).
    setup_process_heap(size_t(256) << 20);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    benchmark::Shutdown();
    const std::string t = "/iterations:10/manual_time";
    const std::string f = "BM_Frame/1280x720/", g = "BM_Frame/640x360/";
    printf("frame / bare grid: low %.2fx, low with anti-aliasing %.2fx, high %.2fx, high with "
           "anti-aliasing %.2fx; anti-aliasing %.0f%% of the high frame, %.0f%% of the low\n",
           rep.get(f + "0/0/0" + t, "x_grid"), rep.get(f + "0/1/0" + t, "x_grid"),
           rep.get(f + "1/0/0" + t, "x_grid"), rep.get(f + "1/1/0" + t, "x_grid"),
           100.0 * rep.get(f + "1/1/0" + t, "aa_share"),
           100.0 * rep.get(f + "0/1/0" + t, "aa_share"));
    printf("640 x 360 with a simulation step per frame: low %.1f frames/s (%.2fx grid), high "
           "with anti-aliasing %.1f frames/s (%.2fx grid); without the step: low %.1f, high "
           "%.1f frames/s\n",
           rep.get(g + "0/0/1" + t, "fps"), rep.get(g + "0/0/1" + t, "x_grid"),
           rep.get(g + "1/1/1" + t, "fps"), rep.get(g + "1/1/1" + t, "x_grid"),
           rep.get(g + "0/0/0" + t, "fps"), rep.get(g + "1/1/0" + t, "fps"));
    return 0;
}
