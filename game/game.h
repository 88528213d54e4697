// Start-up and shutdown of the game's systems.
#pragma once

#include "platform/game_export.h"

void init_game();
void close_game();
void init_text_systems(); // the shared vertex writer and the fonts
void close_text_systems();
void run_reload_checks();  // once per second: changed shaders and scripts
void place_start_camera(); // without a player: a view over the world
void close_all_systems();  // the orderly shutdown, also run by fatal errors
[[noreturn]] GAME_EXPORT void quit_game(int code);
