#include "game/settings.h"

#include "platform/command_line.h"
#include "platform/config.h"
#include "platform/input.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

int gfx_quality = 1;
const char* gfx_quality_name[3] = {"low", "high", nullptr};
bool app_use_vsync = true;
int land_shadow_quality = 2;
bool use_fog = true;
bool use_postfx = true;
bool use_ppaa = true;
bool use_obj_shadows = true;
bool show_fps = false;
AutomationOptions automation;
bool demo_autopilot = false;

namespace {
bool fullscreen_requested = false;
int requested_width = 0;
int requested_height = 0;

bool parse_number(const char* text, uint64_t& out) {
    if (!*text) return false;
    char* end = nullptr;
    unsigned long long v = strtoull(text, &end, 10);
    if (*end || text[0] == '-') return false;
    out = v;
    return true;
}

bool read_automation_switch(const char* arg) {
    uint64_t v = 0;
    if (strncmp(arg, "--frames=", 9) == 0 && parse_number(arg + 9, v) && v <= 1000000000u) {
        automation.quit_after_frames = int(v);
    } else if (strncmp(arg, "--seed=", 7) == 0 && parse_number(arg + 7, v)) {
        automation.fixed_seed = true;
        automation.seed = v;
    } else if (strcmp(arg, "--demo") == 0) {
        demo_autopilot = true;
    } else if (strcmp(arg, "--stats") == 0) {
        automation.print_stats = true;
    } else if (strncmp(arg, "--shot=", 7) == 0 && arg[7]) {
        snprintf(automation.shot_path, sizeof(automation.shot_path), "%s", arg + 7);
    } else if (strncmp(arg, "--fx=", 5) == 0 && arg[5]) {
        snprintf(automation.fx_name, sizeof(automation.fx_name), "%s", arg + 5);
        char* every = strchr(automation.fx_name, '/');
        automation.fx_every = 30;
        if (every) {
            *every = 0;
            if (parse_number(every + 1, v) && v >= 1 && v <= 10000) automation.fx_every = int(v);
        }
    } else if (strncmp(arg, "--input=", 8) == 0) {
        snprintf(automation.input, sizeof(automation.input), "%s", arg + 8);
    } else {
        return false;
    }
    return true;
}

const SwitchHelp GAME_SWITCHES[] = {
    {"-720, -360", "window client size 1280 x 720 or 640 x 360"},
    {"-fullscr, -win", "fullscreen or windowed"},
    {"-vs, -novs", "vertical sync on or off"},
    {"-aa, -noaa", "post-process anti-aliasing on or off"},
    {"-gfx-high, -gfx-low", "graphics quality"},
    {"--frames=N", "quit after N rendered frames"},
    {"--seed=N", "fixed random seed: the same seed gives the same world"},
    {"--stats", "print a timing summary at exit"},
    {"--shot=FILE", "save the last frame shown as a PNG"},
    {"--demo", "autopilot: flies, casts every spell in turn and fights"},
    {"--fx=NAME[/N]", "call an effect of test/fx.nut ahead of the camera every N steps"},
    {"--input=EVENTS", "scripted input for tests: STEP:ACTION items, comma-separated"},
    {"--help, --version", "this text, or the version"},
    {nullptr, nullptr},
};

const SwitchHelp GAME_ENVIRONMENT[] = {
    {"VELTMOOR_CONFIG_DIR", "folder of the settings file"},
    {"XDG_CONFIG_HOME", "else the settings are under it (default ~/.config)"},
    {"XDG_CACHE_HOME, XDG_DATA_HOME",
     "an installed game keeps its shader cache, screenshots and logs under these"},
    {"VELTMOOR_NO_DIALOGS=1", "never show a message box (automated runs)"},
    {"VELTMOOR_NO_SHADER_COMPILER=1", "run from the shader cache alone"},
    {"SDL_VIDEODRIVER", "SDL's video driver (offscreen: no window on screen)"},
    {nullptr, nullptr},
};

const ProgramHelp GAME_HELP = {
    "game",
    "Veltmoor: fly over a procedurally generated world.\n"
    "Switches override the stored settings; a later switch wins over an earlier one.",
    GAME_SWITCHES,
    GAME_ENVIRONMENT,
    nullptr,
};
} // namespace

bool print_game_help_or_version(int argc, char** argv) {
    return print_help_or_version(argc, argv, GAME_HELP);
}

void read_startup_settings(int argc, char** argv) {
    fullscreen_requested = false;
    requested_width = requested_height = 0;
    app_use_vsync = true;
    use_ppaa = false;

    int flags = 0;
    if (get_config_int("flags", flags)) {
        fullscreen_requested = flags & 1;
        use_ppaa = flags & 2;
        app_use_vsync = flags & 4;
        use_obj_shadows = flags & 8;
    }
    int land = 0;
    if (get_config_int("land_shadows", land) && land >= 0 && land <= 2) land_shadow_quality = land;
    int postfx = 0;
    if (get_config_int("postfx", postfx)) use_postfx = postfx != 0;
    char quality[33];
    if (get_config_str("gfx_quality", quality, sizeof(quality))) {
        for (int i = 0; gfx_quality_name[i]; ++i)
            if (strcasecmp(quality, gfx_quality_name[i]) == 0) {
                gfx_quality = i;
                break;
            }
    }

    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (strcmp(a, "-720") == 0) {
            requested_width = 1280;
            requested_height = 720;
        } else if (strcmp(a, "-360") == 0) {
            requested_width = 640;
            requested_height = 360;
        } else if (strcmp(a, "-aa") == 0) {
            use_ppaa = true;
        } else if (strcmp(a, "-noaa") == 0) {
            use_ppaa = false;
        } else if (strcmp(a, "-vs") == 0) {
            app_use_vsync = true;
        } else if (strcmp(a, "-novs") == 0) {
            app_use_vsync = false;
        } else if (strcmp(a, "-fullscr") == 0) {
            fullscreen_requested = true;
        } else if (strcmp(a, "-win") == 0) {
            fullscreen_requested = false;
        } else if (strcmp(a, "-gfx-high") == 0) {
            gfx_quality = 1;
        } else if (strcmp(a, "-gfx-low") == 0) {
            gfx_quality = 0;
        } else if (strncmp(a, "--", 2) != 0 || !read_automation_switch(a)) {
            report_unknown_switch(a);
        }
    }
}

bool save_game_settings(int quality) {
    int flags = (isFullscreen ? 1 : 0) | (use_ppaa ? 2 : 0) | (app_use_vsync ? 4 : 0) |
                (use_obj_shadows ? 8 : 0);
    if (quality < 0 || quality > 1) quality = gfx_quality;
    bool ok = set_config_int("flags", flags);
    ok = set_config_int("land_shadows", land_shadow_quality) && ok;
    ok = set_config_str("gfx_quality", gfx_quality_name[quality], -1) && ok;
    return set_config_int("postfx", use_postfx ? 1 : 0) && ok;
}

bool is_fullscreen_requested() {
    return fullscreen_requested;
}

void get_requested_window_size(int* width, int* height) {
    *width = requested_width;
    *height = requested_height;
}
