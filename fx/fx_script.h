// The effect script "test/fx.nut": effects composed in script and spawned by name, an
// optional per-step "update_fx", reloaded when the file changes.
#pragma once

#include "core/vec4f.h"
#include "platform/game_export.h"
#include "squirrel/include/squirrel.h"

void init_fx_script(); // fatal "error creating fx script VM"; a failed include is shown
void close_fx_script();
void update_fx_script(float dt); // the script's "update_fx", when it has one
void reload_fx_script();         // once per second: reloads a changed script

// Calls the script function `name` with three vectors and a number; errors go on screen
// as "Error in fx script:\n...".
GAME_EXPORT void call_fx_script(const char* name, const vec4f& a, const vec4f& b, const vec4f& c,
                                float value);

HSQUIRRELVM fx_script_vm(); // null before set-up
