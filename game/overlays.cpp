// Help, statistics and error texts drawn over every frame.
#include "game/game_mode.h"
#include "game/main_loop.h"
#include "game/settings.h"
#include "platform/input.h"
#include "render/device.h"
#include "render/overlay/font.h"
#include "render/overlay/text_overlay.h"
#include "scene/sky.h"

#include <cmath>

#include <cstdio>

namespace {
constexpr D3dColor WHITE = 0xFFFFFFFF;
constexpr D3dColor HINT = 0x66FFFFFF;
constexpr D3dColor SHADE = 0x40000000;
constexpr D3dColor STEP_BAND = 0x20008000;
constexpr D3dColor BAR_OK = 0xC040C040;
constexpr D3dColor BAR_SLOW = 0xC0E04030;

struct RingStats {
    int max, min, mean;
};

RingStats ring_stats(const int* ring) {
    RingStats s = {ring[0], ring[0], 0};
    long long sum = 0;
    for (int i = 0; i < STATS_RING_SIZE; ++i) {
        if (ring[i] > s.max) s.max = ring[i];
        if (ring[i] < s.min) s.min = ring[i];
        sum += ring[i];
    }
    s.mean = int((sum + STATS_RING_SIZE / 2) / STATS_RING_SIZE);
    return s;
}

// 200 bars, oldest first from `x0`, scaled so that the update step is at 40% height.
void draw_bar_graph(const int* ring, int next, int x0, int bar_w, int top, int height, int step) {
    draw_rect(x0, top - height, x0 + STATS_RING_SIZE * bar_w, top, SHADE);
    float scale = float(height) * 0.4f / float(step > 0 ? step : 1);
    int band = top - height + int(float(step) * scale);
    draw_rect(x0, band - 1, x0 + STATS_RING_SIZE * bar_w, band + 1, STEP_BAND);
    for (int i = 0; i < STATS_RING_SIZE; ++i) {
        int v = ring[(next + i) % STATS_RING_SIZE];
        int h = int(float(v) * scale);
        if (h > height) h = height;
        if (h < 1) h = 1;
        int x = x0 + i * bar_w;
        draw_rect(x, top - height, x + bar_w - 1, top - height + h, v < step ? BAR_OK : BAR_SLOW);
    }
}

void draw_stats_panel(int scale) {
    int line = get_font_cell_height() * scale;
    RingStats frame = ring_stats(get_frame_ring());
    RingStats update = ring_stats(get_update_ring());
    int col = line * 4;
    int w = col * 5, h = line * 4;
    int x0 = d3d_wd - w - line, y0 = line;
    draw_rect(x0 - line / 2, y0 - line / 2, x0 + w, y0 + h + line / 2, 0x80000000);
    char buf[64];
    snprintf(buf, sizeof(buf), "%d", get_fps());
    draw_text(buf, -1, x0 + col / 2, y0 + h, 0, 1, WHITE);
    draw_text("FPS", -1, x0 + col / 2, y0 + h - 2 * line, 0, 1, WHITE);
    const char* labels[4] = {"frame\ntime", "update\ntime", "tex\nmem", "GPU\nload"};
    for (int i = 0; i < 4; ++i)
        draw_text(labels[i], -1, x0 + col * (i + 1) + col / 2, y0 + h, 0, 1, WHITE);
    const RingStats* rs[2] = {&frame, &update};
    for (int i = 0; i < 2; ++i) {
        snprintf(buf, sizeof(buf), "%02d\n%02d\n%02d", rs[i]->max / 1000, rs[i]->mean / 1000,
                 rs[i]->min / 1000);
        draw_text(buf, -1, x0 + col * (i + 1) + col / 2, y0 + h - 2 * line, 0, 1, WHITE);
    }
    snprintf(buf, sizeof(buf), "%3d MB", int(get_free_texmem() >> 20));
    draw_text(buf, -1, x0 + col * 3 + col / 2, y0 + h - 2 * line, 0, 1, WHITE);
    int load = get_gpu_ring()[(get_frame_ring_index() + STATS_RING_SIZE - 1) % STATS_RING_SIZE];
    if (load >= 0)
        snprintf(buf, sizeof(buf), "%3d%%", load);
    else
        snprintf(buf, sizeof(buf), "  -");
    draw_text(buf, -1, x0 + col * 4 + col / 2, y0 + h - 2 * line, 0, 1, WHITE);
}

void draw_statistics() {
    int line_h = get_font_cell_height();
    int scale = d3d_ht / (line_h * 40 > 0 ? line_h * 40 : 1);
    if (scale < 1) scale = 1;
    push_font_state();
    set_font_scale(scale);
    int bar_w = d3d_wd / 400 < 2 ? 2 : d3d_wd / 400;
    int graph_h = d3d_ht / 4;
    int step = get_update_step_usec();
    draw_bar_graph(get_update_ring(), get_update_ring_index(), 0, bar_w, d3d_ht, graph_h, step);
    draw_bar_graph(get_frame_ring(), get_frame_ring_index(), d3d_wd - STATS_RING_SIZE * bar_w,
                   bar_w, d3d_ht, graph_h, step);
    draw_stats_panel(scale);
    pop_font_state();
}
} // namespace

void draw_game_overlays() {
    start_draw_text();
    draw_error_message();
    draw_visual_log();
    int line = get_font_cell_height() * get_font_scale();
    if (show_fps) {
        draw_text(help_text(get_game_mode() == &dev_game_mode), -1, line, 0, -1, -1, WHITE);
        draw_statistics();
    } else {
        draw_text("F1: help/stats", -1, 2, line * 3, -1, -1, HINT);
    }
    if (get_game_mode() == &dev_game_mode && getKeyState(VK_RBUTTON)) {
        char angle[16];
        snprintf(angle, sizeof(angle), "%3d",
                 int(lrint(acos(double(cur_sun_dir.y)) * 57.29577951308232)));
        draw_text(angle, -1, 0, 0, -1, -1, WHITE);
    }
    end_draw_text();
}
