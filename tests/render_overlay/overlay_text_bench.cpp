// CPU cost of one frame's overlay text: 2,000 characters in 40 lines through the common
// writer (layout, vertex writing, the draws), GPU completion excluded.
#include "platform/paths.h"
#include "render/device.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/overlay/font.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

bool isFullscreen = false;

namespace {
void write_file(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
}

// A 256 x 256 grid whose printable cells hold a 7 x 12 block.
std::string font_image() {
    std::string s(18, '\0');
    s[2] = 2;
    s[12] = 0;
    s[13] = 1;
    s[14] = 0;
    s[15] = 1;
    s[16] = 32;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            int k = (15 - y / 16) * 16 + x / 16;
            bool on = k > 32 && k < 127 && x % 16 >= 2 && x % 16 < 9 && y % 16 >= 3;
            s.append(4, on ? char(0xFF) : char(0));
        }
    return s;
}

SDL_Window* window = nullptr;

bool open_device() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("VELTMOOR_NO_DIALOGS", "1", 0);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
    char dir[] = "/tmp/overlay_bench_XXXXXX";
    if (!mkdtemp(dir)) return false;
    snprintf(app_path, sizeof(app_path), "%s/", dir);
    std::ifstream in(std::string(VELTMOOR_SOURCE_DATA) + "/font.sh");
    std::stringstream shader;
    shader << in.rdbuf();
    write_file(std::string(app_path) + "font.sh", shader.str());
    write_file(std::string(app_path) + "font.tga", font_image());
    window = SDL_CreateWindow("bench", 0, 0, 1280, 720, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window || !init_d3d(window, 1280, 720)) return false;
    common_vb_writer.create(COMMON_VB_SIZE);
    init_font();
    return true;
}

char lines[40][51];

bool setup(benchmark::State& state) {
    static bool ok = open_device();
    if (!ok) state.SkipWithError("no device");
    for (int i = 0; i < 40; ++i) {
        for (int j = 0; j < 50; ++j) lines[i][j] = char(33 + (i * 7 + j * 3) % 94);
        lines[i][50] = 0;
    }
    set_backbuffer_target();
    return ok;
}

void draw_lines() {
    for (int i = 0; i < 40; ++i) draw_text(lines[i], 50, 10, 700 - i * 17, -1, -1, 0xFFFFFFFF);
}

// The whole text pass, including the driver's work on this thread for the draws.
void BM_OverlayText2000(benchmark::State& state) {
    if (!setup(state)) return;
    for (auto _ : state) {
        start_draw_text();
        draw_lines();
        end_draw_text();
        state.PauseTiming();
        flush_gpu();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(BM_OverlayText2000)->Unit(benchmark::kMicrosecond);

// Layout, vertex writing and the buffer locks alone: the draws are skipped.
void no_draw(int, int) {}
void BM_OverlayText2000NoDraw(benchmark::State& state) {
    if (!setup(state)) return;
    for (auto _ : state) {
        common_vb_writer.begin(no_draw, 0);
        draw_lines();
        common_vb_writer.flush(true);
    }
    state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(BM_OverlayText2000NoDraw)->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
