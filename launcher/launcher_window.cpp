#include "launcher/launcher_window.h"

#include "launcher/launcher.h"
#include "platform/app_icon.h"
#include "platform/command_line.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/timer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

SDL_Window* launcher_window = nullptr;

namespace {
constexpr int CLIENT_WIDTH = 640;
constexpr int CLIENT_HEIGHT = 480;

bool needs_paint = false;
bool cursor_hidden = false;
uint64_t random_seed = 0;
int64_t start_time = 0;

// --click=X,Y: a left click at frame-buffer coordinates once the window is up (tests).
bool auto_click = false;
int auto_click_x = 0, auto_click_y = 0;

void update_cursor() {
    bool hide = isAppActive && isMouseOver() && shouldHideMouse;
    if (hide != cursor_hidden) {
        SDL_ShowCursor(hide ? SDL_DISABLE : SDL_ENABLE);
        cursor_hidden = hide;
    }
}

void push_quit() {
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
}

void handle_window_event(const SDL_WindowEvent& w) {
    switch (w.event) {
    case SDL_WINDOWEVENT_CLOSE:
        isAppActive = false;
        push_quit();
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        isAppActive = true;
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        isAppActive = false;
        break;
    default:
        break;
    }
}

bool is_paint_event(const SDL_Event& ev) {
    return ev.type == SDL_WINDOWEVENT && ev.window.event == SDL_WINDOWEVENT_EXPOSED;
}

void push_mouse_event(Uint32 type, int x, int y) {
    SDL_Event e = {};
    e.type = type;
    Uint32 id = SDL_GetWindowID(launcher_window);
    if (type == SDL_MOUSEMOTION) {
        e.motion.windowID = id;
        e.motion.x = x;
        e.motion.y = y;
    } else {
        e.button.windowID = id;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.clicks = 1;
        e.button.x = x;
        e.button.y = y;
    }
    SDL_PushEvent(&e);
}

void read_switches(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        int x = 0, y = 0;
        char end = 0;
        if (sscanf(argv[i], "--click=%d,%d%c", &x, &y, &end) == 2) {
            auto_click = true;
            auto_click_x = x;
            auto_click_y = y;
        } else {
            report_unknown_switch(argv[i]);
        }
    }
}

const SwitchHelp LAUNCHER_SWITCHES[] = {
    {"--click=X,Y", "click the left button at this window point once the window is up"},
    {"--help, --version", "this text, or the version"},
    {nullptr, nullptr},
};

const SwitchHelp LAUNCHER_ENVIRONMENT[] = {
    {"VELTMOOR_CONFIG_DIR", "folder of the settings file"},
    {"XDG_CONFIG_HOME", "else the settings are under it (default ~/.config)"},
    {"VELTMOOR_GAME_PATH", "program that Start runs instead of game"},
    {"VELTMOOR_NO_DIALOGS=1", "never show a message box (automated runs)"},
    {nullptr, nullptr},
};

const ProgramHelp LAUNCHER_HELP = {
    "launchpad",
    "Veltmoor's options window: Start stores the options and starts game from the same folder.",
    LAUNCHER_SWITCHES,
    LAUNCHER_ENVIRONMENT,
    nullptr,
};

bool create_launcher_window() {
    SDL_SetHint("SDL_VIDEO_X11_WMCLASS", "VeltmoorLauncherWindow");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        debug("can't start SDL video: %s", SDL_GetError());
        return false;
    }
    SDL_Rect area;
    if (SDL_GetDisplayUsableBounds(0, &area) != 0) area = {0, 0, CLIENT_WIDTH, CLIENT_HEIGHT};
    int x = area.x + (area.w - CLIENT_WIDTH) / 2;
    int y = area.y + (area.h - CLIENT_HEIGHT) / 2;
    debug("wr: %d %d %d %d", x, y, x + CLIENT_WIDTH, y + CLIENT_HEIGHT);
    launcher_window = SDL_CreateWindow(LAUNCHER_WINDOW_TITLE, x, y, CLIENT_WIDTH, CLIENT_HEIGHT,
                                       SDL_WINDOW_RESIZABLE | SDL_WINDOW_SHOWN);
    if (!launcher_window) {
        debug("can't create the window: %s", SDL_GetError());
        SDL_Quit();
        return false;
    }
    set_window_icon(launcher_window);
    return true;
}
} // namespace

void launcher_window_proc(const SDL_Event& ev) {
    switch (ev.type) {
    case SDL_QUIT:
        request_launcher_quit(0);
        return;
    case SDL_WINDOWEVENT:
        if (ev.window.event == SDL_WINDOWEVENT_EXPOSED)
            needs_paint = true;
        else
            handle_window_event(ev.window);
        return;
    case SDL_KEYDOWN:
        // Alt-F4 closes the window; every other key, Alt-Enter included, is ordinary input.
        if ((ev.key.keysym.mod & KMOD_ALT) && ev.key.keysym.scancode == SDL_SCANCODE_F4) {
            SDL_Event close = {};
            close.type = SDL_WINDOWEVENT;
            close.window.event = SDL_WINDOWEVENT_CLOSE;
            close.window.windowID = SDL_GetWindowID(launcher_window);
            SDL_PushEvent(&close);
            return;
        }
        input_handle_sdl_event(ev);
        return;
    default:
        input_handle_sdl_event(ev);
        return;
    }
}

bool pump_launcher_messages() {
    bool other = false;
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
        if (!is_paint_event(ev)) other = true;
        launcher_window_proc(ev);
    }
    refresh_mouse_over();
    update_cursor();
    return other;
}

void paint_launcher_window() {
    needs_paint = false;
    if (!launcher_window) return;
    int w = 0, h = 0;
    SDL_GetWindowSize(launcher_window, &w, &h);
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    if (w != frame_buffer_width() || h != frame_buffer_height()) {
        resize_frame_buffer(w, h);
        set_input_clamp_size(w, h);
        debug("resized screen buffer to %dx%d", w, h);
    }
    render_frame_buffer();
    SDL_Surface* dst = SDL_GetWindowSurface(launcher_window);
    if (!dst) return;
    SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(frame_buffer_pixels()), frame_buffer_width(), frame_buffer_height(),
        32, frame_buffer_width() * 4, SDL_PIXELFORMAT_RGB888);
    if (!src) return;
    SDL_BlitSurface(src, nullptr, dst, nullptr);
    SDL_FreeSurface(src);
    SDL_UpdateWindowSurface(launcher_window);
}

void run_launcher_loop() {
    const int64_t refresh_ticks = get_timer_frequency() / 30;
    int64_t last = get_ref_time();
    bool clicked = false;
    while (!launcher_quit_requested()) {
        bool other = pump_launcher_messages();
        int64_t now = get_ref_time();
        if (!launcher_quit_requested() && (other || now - last >= refresh_ticks)) {
            if (GuiScreen* s = launcher_screen()) s->processInput(get_time_sec(now - last));
            needs_paint = true;
            last = now;
        }
        reset_input();
        if (needs_paint && !launcher_quit_requested()) paint_launcher_window();
        if (auto_click && !clicked) {
            clicked = true;
            push_mouse_event(SDL_MOUSEMOTION, auto_click_x, auto_click_y);
            push_mouse_event(SDL_MOUSEBUTTONDOWN, auto_click_x, auto_click_y);
            push_mouse_event(SDL_MOUSEBUTTONUP, auto_click_x, auto_click_y);
        }
        // Sleep until the next refresh is due or an event arrives, instead of spinning.
        int64_t due = last + refresh_ticks - get_ref_time();
        int wait_ms = due > 0 ? get_time_msec(due) : 0;
        if (!launcher_quit_requested() && wait_ms > 0) SDL_WaitEventTimeout(nullptr, wait_ms);
        reap_detached_processes();
    }
    reset_input();
}

void close_launcher_all() {
    debug("closing...");
    close_launcher();
    reset_input();
    if (launcher_window) {
        SDL_DestroyWindow(launcher_window);
        launcher_window = nullptr;
    }
    SDL_Quit();
    debug("closed all systems");
}

bool start_launcher(int argc, char** argv) {
    if (locate_app_folders() && app_folders.installed)
        start_log_file(user_file_path("launchpad.log"));
    debug("app path: '%s'", app_path);
    init_timer();
    random_seed = uint64_t(get_ref_time());
    start_time = get_ref_time();
    set_fatal_context(LAUNCHER_WINDOW_TITLE, close_launcher_all);
    read_switches(argc, argv);

    if (!create_launcher_window()) return false;
    int w = 0, h = 0;
    SDL_GetWindowSize(launcher_window, &w, &h);
    init_input(launcher_window);
    isAppActive = true;
    set_input_clamp_size(w, h);

    read_launcher_settings();
    // The frame buffer takes the client size at the first paint.
    init_launcher(make_full_path("font.tga"), 1, 1);
    reset_launcher_quit();
    return true;
}

int launcher_main(int argc, char** argv) {
    if (print_help_or_version(argc, argv, LAUNCHER_HELP)) return 0;
    if (!start_launcher(argc, argv)) return 1; // no window: as game, a failure
    debug("total start-up time: %d ms", get_time_msec(get_ref_time() - start_time));
    paint_launcher_window();
    run_launcher_loop();
    int code = launcher_exit_code();
    close_launcher_all();
    return code;
}
