#include "game/window.h"

#include "game/main_loop.h"
#include "platform/app_icon.h"
#include "platform/input.h"
#include "platform/log.h"
#include "render/device.h"
#include "render/gpu_load.h"

SDL_Window* game_window = nullptr;

namespace {
int saved_client_wd = 0, saved_client_ht = 0;
SDL_Rect saved_window_rect = {0, 0, 0, 0};
bool cursor_hidden = false;

void confine_cursor(bool on) {
    if (game_window) SDL_SetWindowGrab(game_window, on ? SDL_TRUE : SDL_FALSE);
}

void update_cursor() {
    bool hide = isAppActive && (isMouseOver() || isFullscreen) && shouldHideMouse;
    if (hide != cursor_hidden) {
        SDL_ShowCursor(hide ? SDL_DISABLE : SDL_ENABLE);
        cursor_hidden = hide;
    }
}

void handle_window_event(const SDL_WindowEvent& w) {
    switch (w.event) {
    case SDL_WINDOWEVENT_CLOSE: {
        isAppActive = false;
        SDL_Event quit = {};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
        break;
    }
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        if (!isFullscreen && !(SDL_GetWindowFlags(game_window) & SDL_WINDOW_MINIMIZED))
            resize_d3d(w.data1, w.data2, false, false);
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_FOCUS_LOST: {
        bool active = w.event == SDL_WINDOWEVENT_FOCUS_GAINED &&
                      !(SDL_GetWindowFlags(game_window) & SDL_WINDOW_MINIMIZED);
        if (active != isAppActive) {
            isAppActive = active;
            if (isFullscreen) confine_cursor(active);
        }
        break;
    }
    default:
        break;
    }
}
} // namespace

bool register_window_class() {
    SDL_SetHint("SDL_VIDEO_X11_WMCLASS", "VeltmoorWindow");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        debug("can't start SDL video: %s", SDL_GetError());
        return false;
    }
    return true;
}

SDL_Window* create_game_window(bool fullscreen, int width, int height) {
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE;
    SDL_Rect area;
    if (SDL_GetDisplayUsableBounds(0, &area) != 0) {
        SDL_DisplayMode mode;
        area = {0, 0, 1280, 720};
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0) area = {0, 0, mode.w, mode.h};
    }
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
    int w = width, h = height;
    if (fullscreen) {
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        x = y = 0;
        w = area.w;
        h = area.h;
    } else {
        if (w > 0) x = area.x + (area.w - w) / 2;
        if (h > 0) y = area.y + (area.h - h) / 2;
        if (w <= 0) w = area.w * 3 / 4 > 0 ? area.w * 3 / 4 : 1280;
        if (h <= 0) h = area.h * 3 / 4 > 0 ? area.h * 3 / 4 : 720;
        if (width <= 0) flags |= SDL_WINDOW_MAXIMIZED;
    }
    game_window = SDL_CreateWindow(GAME_WINDOW_TITLE, x, y, w, h, flags);
    if (!game_window) debug("can't create the window: %s", SDL_GetError());
    set_window_icon(game_window);
    return game_window;
}

void destroy_game_window() {
    if (game_window) SDL_DestroyWindow(game_window);
    game_window = nullptr;
}

void get_client_size(int* width, int* height) {
    *width = *height = 0;
    if (game_window) SDL_GetWindowSize(game_window, width, height);
}

void game_window_proc(const SDL_Event& ev) {
    switch (ev.type) {
    case SDL_QUIT:
        request_quit();
        return;
    case SDL_WINDOWEVENT:
        handle_window_event(ev.window);
        return;
    case SDL_KEYDOWN: {
        SDL_Scancode sc = ev.key.keysym.scancode;
        bool alt = ev.key.keysym.mod & KMOD_ALT;
        if (alt && sc == SDL_SCANCODE_F4) {
            SDL_Event close = {};
            close.type = SDL_WINDOWEVENT;
            close.window.event = SDL_WINDOWEVENT_CLOSE;
            close.window.windowID = SDL_GetWindowID(game_window);
            SDL_PushEvent(&close);
            return;
        }
        if (alt && (sc == SDL_SCANCODE_RETURN || sc == SDL_SCANCODE_KP_ENTER)) {
            if (!ev.key.repeat) set_fullscreen(!isFullscreen);
            return;
        }
        input_handle_sdl_event(ev);
        return;
    }
    default:
        input_handle_sdl_event(ev);
        return;
    }
}

void pump_messages() {
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) game_window_proc(ev);
    set_input_clamp_size(d3d_wd, d3d_ht);
    refresh_mouse_over();
    update_cursor();
}

void set_fullscreen(bool fullscreen) {
    if (!game_window) return;
    int w = 0, h = 0;
    if (!fullscreen) {
        w = saved_client_wd;
        h = saved_client_ht;
        if (w == 0 || h == 0) {
            w = d3d_wd / 2;
            h = d3d_ht / 2;
        }
    } else {
        get_client_size(&saved_client_wd, &saved_client_ht);
        SDL_GetWindowPosition(game_window, &saved_window_rect.x, &saved_window_rect.y);
        saved_window_rect.w = saved_client_wd;
        saved_window_rect.h = saved_client_ht;
    }
    resize_d3d(w, h, fullscreen, false);
    if (isFullscreen) {
        SDL_SetWindowFullscreen(game_window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        confine_cursor(true);
    } else {
        SDL_SetWindowFullscreen(game_window, 0);
        SDL_Rect r = saved_window_rect;
        if (r.w <= 0 || r.h <= 0) r = {0, 0, d3d_wd, d3d_ht};
        SDL_SetWindowSize(game_window, r.w, r.h);
        SDL_SetWindowPosition(game_window, r.x, r.y);
        confine_cursor(false);
    }
}
