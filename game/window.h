// The game's window: SDL video start-up, the event handler (the window procedure),
// the message pump and the fullscreen switch.
#pragma once

#include "platform/game_export.h"

#include <SDL.h>

extern SDL_Window* game_window;
constexpr const char* GAME_WINDOW_TITLE = "Veltmoor 0.10 DEMO";

bool register_window_class(); // starts SDL video; false with the reason logged
// Creates the window for a client size (0 x 0: default size, maximised).
SDL_Window* create_game_window(bool fullscreen, int width, int height);
void destroy_game_window();
void game_window_proc(const SDL_Event& ev);
void pump_messages(); // the quit message sets the quit flag of the main loop
GAME_EXPORT void set_fullscreen(bool fullscreen);
void get_client_size(int* width, int* height);
