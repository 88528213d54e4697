// Veltmoor's icon, drawn by code: the desktop icons are made from it at build time
// (tools/icongen) and both programs give it to their windows at start.
#pragma once

#include <cstdint>

struct SDL_Window;

// size x size pixels, rows from the top, 0xAARRGGBB; transparent outside the rounded square.
void draw_app_icon(uint32_t* argb, int size);

// Gives a window the icon at a size window decorations use.
void set_window_icon(SDL_Window* window);
