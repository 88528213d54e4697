#include "game/game.h"

#include "game/interim_device.h"
#include "game/main_loop.h"
#include "game/settings.h"
#include "game/window.h"
#include "platform/input.h"
#include "platform/log.h"

#include <cstdlib>

void init_game() {
    set_update_rate(20, 5);
    debug("Graphics quality: %s", gfx_quality_name[gfx_quality]);
    if (gfx_quality != 1) use_postfx = false;
    setMousePos(float(d3d_wd / 2), float(d3d_ht / 2));
}

void close_game() {}

void update_game(float dt) {}

void render_game_frame(float time_ahead) {}

void close_all_systems() {
    debug("closing...");
    close_game();
    close_gpu_load();
    close_d3d();
    reset_input();
    destroy_game_window();
    SDL_Quit();
    debug("closed all systems");
}

void quit_game(int code) {
    close_all_systems();
    exit(code);
}
