// The world-generation script ("gen/main.nut") and its native interface: generators as
// plain functions, whole-map masks (HmapMask), painting operations and generate_world.
#pragma once

#include "core/vec4f.h"
#include "platform/game_export.h"
#include "script/reloadable_vm.h"
#include "world/heightmap.h"

// A whole-map float array laid out like HeightmapData::hmap.
struct HmapMask {
    alignas(16) float v[HMAP_CELLS];
};

// What world generation needs from the rest of the game; unset hooks do nothing.
struct WorldGenHooks {
    void (*show_splash)(const char* text, int progress) = nullptr;
    void (*set_error_message)(const char* text) = nullptr; // null text clears it
    void (*set_sun_dir)(const vec4f& dir) = nullptr;
    void (*bind_actor)(HSQUIRRELVM vm) = nullptr; // the module adds its script functions
    void (*remove_all_actor)() = nullptr;
    void (*before_regeneration)() = nullptr; // local player notifications
    void (*after_regeneration)() = nullptr;
    void (*reset_common_fx)() = nullptr;
    void (*mark_renderer_dirty)() = nullptr;
    bool (*call_actor_function)(const char* name) = nullptr; // false: the module has none
    void (*reset_update_time)() = nullptr;
    // Runs the generation (work) and returns when it is done; the game runs it on a worker
    // thread behind its splash so that the window keeps answering. Null: run it here.
    void (*run_generation)(void (*work)()) = nullptr;
};
extern WorldGenHooks world_gen_hooks;

extern SqReloadableVM world_gen_vm;

// Opens the VM, registers everything and runs "gen/main.nut"; errors go on screen.
void init_world_gen();
void close_world_gen();
// Builds a new world with the script's generate_world; false when the script failed.
GAME_EXPORT bool generate_world();
// Once per second: regenerates the world when any script file changed.
void check_world_gen_reload();

// For the game-object module's bind_actor: a script function without arguments that calls
// the module's named function `name` (one of its required ones) through
// WorldGenHooks::call_actor_function, so it reaches the module bound at the time of the call
// rather than the one that registered it.
GAME_EXPORT void register_actor_script_function(HSQUIRRELVM vm, const char* name);

// The registrations, for tools and tests that set up their own VM.
void register_world_gen_script(HSQUIRRELVM vm);
