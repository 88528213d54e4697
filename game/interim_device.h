// Until the GPU device layer is wired in, a frame is a clear of the window's
// software surface and a swap. Same names and contracts as the device layer.
#pragma once

#include <SDL.h>
#include <cstdint>

extern int d3d_wd, d3d_ht;

bool init_d3d(SDL_Window* window, int width, int height);
void close_d3d();
bool resize_d3d(int width, int height, bool fullscreen, bool forced);
bool render_d3d_frame(float time_ahead); // calls render_game_frame
void present_d3d();
bool check_d3d_device();
uint32_t get_free_texmem();
void init_gpu_load();
int get_gpu_load(); // -1: no reading
void close_gpu_load();

void render_game_frame(float time_ahead); // defined by the game
