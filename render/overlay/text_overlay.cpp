#include "render/overlay/text_overlay.h"

#include "platform/dyn_array.h"
#include "platform/log.h"
#include "render/device.h"
#include "render/overlay/font.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
struct LogLine {
    char text[VISUAL_LOG_LINE];
};
DynArray<LogLine> log_lines;
char splash_text[SPLASH_TEXT] = "Please wait...";
float splash_progress = -1.0f;
} // namespace

// [SECTION] visual log

void visual_log(const char* fmt, ...) {
    LogLine line;
    va_list args;
    va_start(args, fmt);
    vsnprintf(line.text, sizeof(line.text), fmt, args);
    va_end(args);
    log_lines.push_back(line);
    if (log_lines.num > VISUAL_LOG_LINES) log_lines.erase(0, log_lines.num - VISUAL_LOG_LINES);
}

void clear_visual_log() {
    log_lines.clear();
}

int visual_log_count() {
    return log_lines.num;
}

const char* visual_log_line(int i) {
    return i >= 0 && i < log_lines.num ? log_lines[i].text : "";
}

void draw_visual_log() {
    push_font_state();
    set_font_scale(2);
    const int ch = get_font_cell_height(), n = log_lines.num;
    for (int i = 0; i < n; ++i)
        draw_text(log_lines[i].text, -1, 2 * ch, (n - i) * 2 * ch, -1, -1, 0xFFFFFFFF);
    pop_font_state();
}

// [SECTION] error message

void draw_error_message() {
    if (!has_error_message()) return;
    push_font_state();
    set_font_scale(2);
    const int ch = get_font_cell_height();
    draw_rect(0, d3d_ht - 12 * ch, d3d_wd, d3d_ht, 0xCC660000);
    draw_text(get_error_message(), -1, d3d_wd / 2, d3d_ht - ch, 0, 1, 0xFFFFEE00);
    pop_font_state();
}

// [SECTION] splash

void show_splash(const char* text, float progress) {
    size_t l = text ? strlen(text) : 0;
    ASSERT_TEXT(l < SPLASH_TEXT, "l<BS");
    memcpy(splash_text, text ? text : "", l + 1);
    splash_progress = progress;

    if (!begin_d3d_scene()) return;
    set_cull_mode(1);
    set_backbuffer_target();
    clear_view(0xFF000A28);
    start_draw_text();
    draw_text(splash_text, -1, d3d_wd / 2, d3d_ht / 4, 0, 0, 0xFFFFFFFF);
    if (progress >= 0) {
        const int a = get_font_scale() * get_font_cell_height() * 3;
        const int bar = d3d_wd / 4, x0 = (d3d_wd - d3d_wd / 4) / 2;
        const int y0 = d3d_ht / 4 - a, y1 = d3d_ht / 4 - a / 2;
        // A fraction above 1 would draw past the bar's end.
        const float f = progress > 1.0f ? 1.0f : progress;
        draw_rect(x0, y0, x0 + bar, y1, 0xFF000000);
        draw_rect(x0, y0, x0 + int(lroundf(float(bar) * f)), y1, 0xFF32960A);
    }
    end_draw_text();
    end_d3d_scene();
    present_d3d();
}

const char* get_splash_text() {
    return splash_text;
}
