// The launcher's options screen: its settings, the GUI built from them, the command
// handler of the controls, and the frame buffer it is painted into. Everything here
// works without a window; launcher_window.h adds the window and the main loop.
#pragma once

#include "launcher/gui.h"

#include <cstdint>

enum {
    CMD_START = 1,
    CMD_QUIT = 2,
    CMD_VISIT_SITE = 3,
    CMD_FULLSCREEN = 4,
    CMD_ANTI_ALIASING = 5,
    CMD_VSYNC = 6,
    CMD_OBJECT_SHADOWS = 7,
    CMD_LAND_SHADOWS_0 = 8, // 8, 9, 10
    CMD_QUALITY_0 = 11,     // 11, 12
};

constexpr int LAUNCHER_GRID_WIDTH = 40;
constexpr int LAUNCHER_GRID_HEIGHT = 30;
constexpr const char* LAUNCHER_WINDOW_TITLE = "Veltmoor Launcher";

struct LauncherSettings {
    bool fullscreen = false;
    bool antiAliasing = false;
    bool vsync = true;
    bool objectShadows = true;
    int landShadows = 2; // 0..2
    int gfxQuality = 1;  // index into launcher_quality_names
};

extern LauncherSettings launcher_settings;
extern const char* const launcher_quality_names[2]; // "low", "high"

void read_launcher_settings();  // missing values keep what the settings hold
bool write_launcher_settings(); // false (and logged) when a value could not be stored

// Renderer, font and screen; the frame buffer starts at width x height.
void init_launcher(const char* font_path, int width, int height);
void close_launcher(); // the screen, the frame buffer and the renderer; safe to repeat
void refresh_launcher_controls();

GuiScreen* launcher_screen();
SoftwareGuiRenderer* launcher_renderer();
GuiElement* find_launcher_control(int command_id); // null when none has the id

// Frame buffer: top-down rows of 32-bit pixels (the alpha byte is not meaningful).
void resize_frame_buffer(int width, int height); // at least 1 x 1; re-lays out the screen
const uint32_t* frame_buffer_pixels();
int frame_buffer_width();
int frame_buffer_height();
void render_frame_buffer(); // clears to black and renders the screen

// The launcher ends after Start or Quit (or when the window is closed).
bool launcher_quit_requested();
int launcher_exit_code();
void request_launcher_quit(int exit_code);
void reset_launcher_quit();

// The game that Start runs: $VELTMOOR_GAME_PATH when set (tests), else "game" in the
// launcher's folder. The program that opens the web page: $VELTMOOR_URL_OPENER or xdg-open.
const char* launcher_game_path();
const char* launcher_url_opener();
const char* launcher_site_url();
