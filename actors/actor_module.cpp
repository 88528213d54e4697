#include "actors/actor_module.h"

ActorPlayer* local_player = nullptr;
bool should_close_game_menu = false;

namespace {
void none() {}
void none_dt(float) {}
void none_mode(GameMode*) {}
void none_mode_time(GameMode*, float) {}
bool mouse_not_used(GameMode*, float) {
    return false;
}
void none_vm(HSQUIRRELVM) {}
} // namespace

ActorModule actor_module = {
    none,           none,    none,    none,           none,           none,      none,      none,
    none,           none_dt, none_dt, none_mode_time, mouse_not_used, none_mode, none_mode, none_dt,
    none_mode_time, none_dt, none,    none,           none,           none_vm,
};

bool is_actor_module_bound() {
    return false;
}
