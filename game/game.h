// Start-up and shutdown of the game's systems.
#pragma once

void init_game();
void close_game();
void close_all_systems(); // the orderly shutdown, also run by fatal errors
[[noreturn]] void quit_game(int code);
void update_game(float dt); // one simulation step of the current mode
