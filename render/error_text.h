// The on-screen error message: recoverable errors of things edited while the game runs
// (shaders, scripts, the module's build). The text overlay draws it.
#pragma once

#include "platform/game_export.h"

GAME_EXPORT void set_error_message(const char* text); // null or empty clears
GAME_EXPORT void append_error_message(const char* text,
                                      int length); // length < 0: up to the terminator
bool has_error_message();
const char* get_error_message(); // "" when none
