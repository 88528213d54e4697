// Start-up settings of game: the stored options, then the command line, which wins.
// The renderers read these globals too, so they live in a library of their own.
#pragma once

#include "platform/game_export.h"

#include <cstdint>

GAME_EXPORT extern int gfx_quality; // index into gfx_quality_name
GAME_EXPORT extern const char* gfx_quality_name[3];
GAME_EXPORT extern int land_shadow_quality;
extern bool use_fog;
GAME_EXPORT extern bool use_postfx;
GAME_EXPORT extern bool use_ppaa;
GAME_EXPORT extern bool use_obj_shadows;
GAME_EXPORT extern bool app_use_vsync;
extern bool show_fps;

// Switches starting with "--", for tests and benchmarks.
struct AutomationOptions {
    int quit_after_frames = 0; // --frames=N: quit after N rendered frames (0: never)
    bool fixed_seed = false;   // --seed=N
    uint64_t seed = 0;
    bool print_stats = false; // --stats: timing summary at exit
    char shot_path[260] = ""; // --shot=FILE: PNG of the last frame shown
    char fx_name[64] = "";    // --fx=NAME[/N]: the effect NAME ahead of the camera every N steps
    int fx_every = 30;
    char input[1024] = ""; // --input=EVENTS: scripted input (game/scripted_input.h)
};
extern AutomationOptions automation;
// --demo: the game-object module flies, casts and fights by itself.
GAME_EXPORT extern bool demo_autopilot;

void read_startup_settings(int argc, char** argv);
// Stores the running options in the settings store, in launchpad's format (plus the
// post-effect switch, which only game reads); `quality` is the graphics quality for the
// next start. False when the store could not be written.
GAME_EXPORT bool save_game_settings(int quality);
// --help or --version printed: the program exits without starting.
bool print_game_help_or_version(int argc, char** argv);
bool is_fullscreen_requested();
void get_requested_window_size(int* width, int* height); // 0: not given
