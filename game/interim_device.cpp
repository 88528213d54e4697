#include "game/interim_device.h"

#include "platform/input.h"
#include "platform/log.h"

int d3d_wd = 0, d3d_ht = 0;

namespace {
SDL_Window* device_window = nullptr;
}

bool init_d3d(SDL_Window* window, int width, int height) {
    device_window = window;
    d3d_wd = width;
    d3d_ht = height;
    return window != nullptr;
}

void close_d3d() {
    device_window = nullptr;
}

bool resize_d3d(int width, int height, bool fullscreen, bool forced) {
    isFullscreen = fullscreen;
    if (width > 0 && height > 0) {
        d3d_wd = width;
        d3d_ht = height;
    }
    return true;
}

bool render_d3d_frame(float time_ahead) {
    if (!device_window) return false;
    SDL_Surface* s = SDL_GetWindowSurface(device_window);
    if (!s) return false;
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 32, 48, 80));
    render_game_frame(time_ahead);
    return true;
}

void present_d3d() {
    if (device_window) SDL_UpdateWindowSurface(device_window);
}

bool check_d3d_device() {
    return device_window != nullptr;
}
uint32_t get_free_texmem() {
    return 0;
}
void init_gpu_load() {}
int get_gpu_load() {
    return -1;
}
void close_gpu_load() {}
