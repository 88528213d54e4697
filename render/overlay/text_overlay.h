// Developer overlays drawn with the bitmap font: the visual log, the on-screen error
// message and the splash screen shown outside the frame loop.
#pragma once

#include "render/error_text.h" // set_error_message, append_error_message, has_error_message

enum { VISUAL_LOG_LINE = 128, VISUAL_LOG_LINES = 100, SPLASH_TEXT = 256 };

void visual_log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void clear_visual_log();
int visual_log_count();
const char* visual_log_line(int i); // 0 = oldest

// Inside a text pass (start_draw_text .. end_draw_text).
void draw_visual_log();
void draw_error_message();

// Renders one frame with `text` centred and, when progress >= 0, a progress bar.
// Fits erosion_progress_hook, so the game can install it there directly.
void show_splash(const char* text, float progress);
const char* get_splash_text();
