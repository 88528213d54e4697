// The input layer shared by game and launchpad: SDL events become a queue of
// InputEvent records with Windows virtual-key codes, plus per-step key flags.
// Events and key flags live for exactly one update step (reset_input).
#pragma once

#include "platform/input_event.h"

#include <SDL.h>

bool getEvent(InputEvent* out); // oldest queued event; false when empty
void getMousePos(float* x, float* y);
void setMousePos(float x, float y); // the stored position follows the resulting move event
int getMouseWheel();
bool isMouseOver();
bool keyUp(int vk);             // went up this step; false outside 0..255
const char* getKeyName(int vk); // "?" for unnamed codes and codes outside 0..255
int getKey();
int getChar();

void init_input(SDL_Window* window);
void reset_input(); // drop queued events and step flags
void queue_input_event(int type, int code, int scan, int flags, float x, float y);
void refresh_mouse_over();
// Mouse positions are clamped to this area (the back buffer or software frame buffer).
void set_input_clamp_size(int width, int height);

// Translates one SDL keyboard/mouse event into queued input (window procedures call it
// for the events they do not handle themselves). Returns false for other events.
bool input_handle_sdl_event(const SDL_Event& ev);
int vk_from_scancode(SDL_Scancode sc);
// Letter keys by the layout's key symbol, the others by their place.
int vk_from_key(SDL_Keycode sym, SDL_Scancode sc);
// Characters typed (UTF-8 text of the layout) go to the key down they came from.
void input_text(const char* utf8);
