// The host of the game-object module: loading and binding actor.so, rebinding live
// objects to a rebuilt module, and the background rebuild from the module's sources.
#pragma once

#include "actors/module_api.h"

// The module's functions. While no module is bound every entry is a no-op, so the host's
// call sites need no checks (the required ones are null then).
struct ActorModule {
#define ACTOR_FUNCTION_POINTER(name, ret, args) ret(*name) args;
    ACTOR_MODULE_FUNCTIONS(ACTOR_FUNCTION_POINTER)
#undef ACTOR_FUNCTION_POINTER
    void* required[ACTOR_REQUIRED_COUNT];
};

extern ActorModule actor_module;
GAME_EXPORT extern bool should_close_game_menu; // set by the module's menu
bool is_actor_module_bound();

// Loads make_full_path("actor.so"), binds it and tracks the sources from
// source_folder + root_file ("module/", "main.ls"); null or "" tracks nothing.
void load_game_module(const char* source_folder, const char* root_file);
// Runs when the module is unbound, before its code goes: what the module created through
// the layers above (the GUI's screens and styles) is released there. The GUI runtime sets it.
extern void (*module_unbind_hook)();
void unload_game_module();
// Once per second: echoes a running rebuild's output, starts a rebuild when a tracked
// source changed, swaps in a finished actor_new.so.
void check_game_module();

// ---- pieces, for tests and benchmarks
bool is_error_line(const char* line); // "error"/"errors" as a word, any case
int tracked_module_source_count();    // files tracked from the root source
const char* tracked_module_source(int i);
bool is_game_module_rebuilding();
// Replaces every live object's class table with the new module's; fatal when an object's
// table is not among the kept ones. Exposed so a benchmark can time it alone.
void rebind_objects(void* const* old_tables, void* const* new_tables);
