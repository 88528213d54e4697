// Frame time of the forward path at 1280 x 720 on whatever GL the machine has (Mesa's
// software rasteriser on the build machines): world update, scene passes and the copy,
// waited for on the GPU.
#include "platform/paths.h"
#include "render/device.h"
#include "scene/heightmap_renderer.h"
#include "scene/scene_camera.h"
#include "scene/scene_render.h"
#include "scene/sky.h"
#include "tools/texgen/tex_noise.h"
#include "world/heightmap.h"
#include "world/sample_world.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

bool isFullscreen = false;

namespace {

using HR = HeightmapRenderer;

bool install_data(const std::string& dir) {
    const char* files[] = {"sky.nut",      "sky.sh",           "sky_common.inc", "land.sh",
                           "water.sh",     "land_detail.inc",  "land_norm.inc",  "calc_common.inc",
                           "calc_norm.sh", "calc_norm_low.sh", "calc_aper.sh",   "interp_tex.sh",
                           "horizon.sh",   "postfx_none.sh"};
    for (const char* f : files) {
        std::ifstream in(std::string(VELTMOOR_DATA_DIR) + "/" + f, std::ios::binary);
        std::ofstream out(dir + f, std::ios::binary);
        if (!in || !out) return false;
        out << in.rdbuf();
    }
    return write_file(dir + "detail.dds", encode_dds(make_mip_chain(make_detail_texture(256)))) &&
           write_file(dir + "foam.dds", encode_dds(make_mip_chain(make_foam_texture(256))));
}

void set_camera(const vec4f& pos, float yaw) {
    float pitch = -0.25f;
    vec4f f = make4f(sinf(yaw) * cosf(pitch), sinf(pitch), cosf(yaw) * cosf(pitch), 0);
    vec4f r = make4f(cosf(yaw), 0, -sinf(yaw), 0); // up x forward
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

void BM_LowFrame1280x720(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("VELTMOOR_NO_DIALOGS", "1", 0);
    std::string dir = "/tmp/veltmoor_scene_bench_XXXXXX";
    if (!mkdtemp(dir.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    dir += "/";
    snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
    mkdir((dir + "cache").c_str(), 0755);
    if (!install_data(dir) || SDL_Init(SDL_INIT_VIDEO) != 0) {
        state.SkipWithError("no data or no video");
        return;
    }
    SDL_Window* w =
        SDL_CreateWindow("bench", 0, 0, 1280, 720, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    app_use_vsync = false;
    if (!w || !init_d3d(w, 1280, 720)) {
        state.SkipWithError("no device");
        return;
    }
    generate_sample_world(7, 20000);
    init_sky();
    init_scene_tex();
    init_postfx();
    HR::init(0);
    float yaw = 0.3f;
    // Arg 1: a simulation step before every frame, so the maps are rebuilt each time.
    bool with_step = state.range(0) != 0;
    for (auto _ : state) {
        if (with_step) {
            step_sky();
            HR::stepUpdate(0.05f);
            HeightmapData::updateHmap(0.05f);
            HeightmapData::simWater(0.05f);
        }
        begin_d3d_scene();
        set_camera(make4f(90.0f, 40.0f, 60.0f, 1), yaw);
        yaw += 0.01f;
        update_sky(0.5f);
        HR::frameUpdate(0.025f);
        render_scene_low(0.025f, 0.5f);
        apply_postfx();
        end_d3d_scene();
        flush_gpu();
    }
    HR::close();
    close_postfx();
    close_scene_tex();
    close_sky();
    close_d3d();
    SDL_DestroyWindow(w);
    SDL_Quit();
}
BENCHMARK(BM_LowFrame1280x720)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
