// Per-refresh costs of the launcher: painting the whole screen into the frame buffer, and
// turning a mouse move into hover changes (hit tests over the element tree).
#include "launcher/launcher.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>

namespace {
void open_launcher(int w, int h) {
    const char* dir = getenv("VELTMOOR_APP_DIR");
    std::string font = std::string(dir && *dir ? dir : BENCH_APP_DIR) + "/font.tga";
    launcher_settings = LauncherSettings();
    init_launcher(font.c_str(), w, h);
}

void BM_RenderLauncherScreen(benchmark::State& state) {
    int w = int(state.range(0)), h = int(state.range(1));
    open_launcher(w, h);
    for (auto _ : state) {
        render_frame_buffer();
        benchmark::DoNotOptimize(frame_buffer_pixels()[w * h / 2]);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(w) * h);
    close_launcher();
}
BENCHMARK(BM_RenderLauncherScreen)->Args({640, 480})->Args({1280, 960});

void BM_HoverAcrossButtons(benchmark::State& state) {
    open_launcher(640, 480);
    set_input_clamp_size(640, 480);
    GuiScreen* screen = launcher_screen();
    float x = 0;
    for (auto _ : state) {
        // Sweeps the pointer along the button row, entering and leaving each button.
        x = x >= 630 ? 0 : x + 7;
        queue_input_event(INPUT_MOUSE_MOVE, 0, 0, 0, x, 400);
        screen->processInput(1.0f / 30);
        reset_input();
    }
    close_launcher();
}
BENCHMARK(BM_HoverAcrossButtons);
} // namespace

BENCHMARK_MAIN();
