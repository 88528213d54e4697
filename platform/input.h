// The input layer shared by game and launchpad: SDL events become a queue of
// InputEvent records with Windows virtual-key codes, plus per-step key flags.
// Events and key flags live for exactly one update step (reset_input).
#pragma once

#include <SDL.h>

struct InputEvent {
    int type;   // INPUT_KEY_DOWN .. INPUT_MOUSE_WHEEL
    int key;    // virtual key (1, 2) or button code 1/2/4 (3, 4); 0 otherwise
    int flags;  // INPUT_FLAG_* bits
    int ch;     // character of a key event, 0 when none
    int wheel;  // wheel steps, positive away from the user
    float x, y; // client pixels
};

enum {
    INPUT_KEY_DOWN = 1,
    INPUT_KEY_UP = 2,
    INPUT_BUTTON_DOWN = 3,
    INPUT_BUTTON_UP = 4,
    INPUT_MOUSE_MOVE = 5,
    INPUT_MOUSE_WHEEL = 6,
};

enum {
    INPUT_FLAG_SHIFT = 0x1,
    INPUT_FLAG_CTRL = 0x2,
    INPUT_FLAG_ALT = 0x4,
    INPUT_FLAG_CAPSLOCK = 0x8,
    INPUT_FLAG_SCROLLLOCK = 0x10,
    INPUT_FLAG_NUMLOCK = 0x20,
    INPUT_FLAG_REPEAT = 0x40, // key down: auto-repeat; button down: double click
    INPUT_FLAG_LBUTTON = 0x80,
    INPUT_FLAG_RBUTTON = 0x100,
    INPUT_FLAG_MBUTTON = 0x200,
};

// Virtual-key codes the engine refers to by name.
enum {
    VK_LBUTTON = 0x01,
    VK_RBUTTON = 0x02,
    VK_MBUTTON = 0x04,
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_SNAPSHOT = 0x2C,
    VK_F1 = 0x70,
    VK_F4 = 0x73,
    VK_F5 = 0x74,
    VK_F6 = 0x75,
    VK_F9 = 0x78,
};

// Window globals shared by both programs.
extern bool isAppActive;
extern bool isFullscreen;
extern bool shouldHideMouse;

bool getEvent(InputEvent* out); // oldest queued event; false when empty
void getMousePos(float* x, float* y);
void setMousePos(float x, float y); // the stored position follows the resulting move event
int getMouseWheel();
bool isMouseOver();
bool getKeyState(int vk);       // held down now
bool keyDown(int vk);           // went down this step (repeats do not count); false outside 0..255
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
