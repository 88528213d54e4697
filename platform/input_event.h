// Input records, key codes and the per-step key state, without SDL: what game code above
// the platform layer (and the game-object module) needs to read input.
#pragma once

#include "platform/game_export.h"

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
GAME_EXPORT extern bool isAppActive;
GAME_EXPORT extern bool isFullscreen;
GAME_EXPORT extern bool shouldHideMouse;

// Went down this step (repeats do not count); false outside 0..255.
GAME_EXPORT bool keyDown(int vk);
GAME_EXPORT bool getKeyState(int vk); // held down now
