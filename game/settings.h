// Start-up settings of game: the stored options, then the command line, which wins.
// The renderers read these globals too, so they live in a library of their own.
#pragma once

#include <cstdint>

extern int gfx_quality; // index into gfx_quality_name
extern const char* gfx_quality_name[3];
extern int land_shadow_quality;
extern bool use_fog;
extern bool use_postfx;
extern bool use_ppaa;
extern bool use_obj_shadows;
extern bool app_use_vsync;
extern bool show_fps;

// Switches starting with "--", for tests and benchmarks.
struct AutomationOptions {
    int quit_after_frames = 0; // --frames=N: quit after N rendered frames (0: never)
    bool fixed_seed = false;   // --seed=N
    uint64_t seed = 0;
    bool print_stats = false; // --stats: timing summary at exit
    char shot_path[260] = ""; // --shot=FILE: PNG of the last frame shown
};
extern AutomationOptions automation;

void read_startup_settings(int argc, char** argv); // unknown switches are logged
// --help or --version printed: the program exits without starting.
bool print_game_help_or_version(int argc, char** argv);
bool is_fullscreen_requested();
void get_requested_window_size(int* width, int* height); // 0: not given
