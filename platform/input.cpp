#include "platform/input.h"

#include "platform/dyn_array.h"

bool isAppActive = false;
bool isFullscreen = false;
bool shouldHideMouse = false;

namespace {
SDL_Window* input_window = nullptr;
DynArray<InputEvent> queue; // FIFO: events [queue_head, queue.num)
int queue_head = 0;
unsigned char key_flags[256]; // bit 0: went down, bit 1: went up (this step)
bool held[256];               // our view of the keyboard and button state
int toggle_mods = 0;          // KMOD_CAPS / KMOD_NUM / KMOD_SCROLL as last seen
float mouse_x = 0, mouse_y = 0;
int wheel_accum = 0;
int last_key = 0, last_char = 0;
int down_char[256];   // the character each key's last down produced, for its key up
int text_target = -1; // queue index of the key down that text input may still fill
bool captured = false;
bool mouse_over = false;
int clamp_wd = 1, clamp_ht = 1;

const char* const key_names[256] = {
    "?",
    "Left Mouse Button",
    "Right Mouse Button",
    "?",
    "Middle Mouse Button",
    "?",
    "?",
    "?",
    "Backspace",
    "Tab",
    "?",
    "?",
    "?",
    "Enter",
    "?",
    "?",
    "Shift",
    "Ctrl",
    "Alt",
    "Pause",
    "Caps Lock",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "Escape",
    "?",
    "?",
    "?",
    "?",
    "Space",
    "Page Up",
    "Page Down",
    "End",
    "Home",
    "Left Arrow",
    "Up Arrow",
    "Right Arrow",
    "Down Arrow",
    "?",
    "?",
    "?",
    "?",
    "Insert",
    "Delete",
    "?",
    "0",
    "1",
    "2",
    "3",
    "4",
    "5",
    "6",
    "7",
    "8",
    "9",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "A",
    "B",
    "C",
    "D",
    "E",
    "F",
    "G",
    "H",
    "I",
    "J",
    "K",
    "L",
    "M",
    "N",
    "O",
    "P",
    "Q",
    "R",
    "S",
    "T",
    "U",
    "V",
    "W",
    "X",
    "Y",
    "Z",
    "Left Win",
    "Right Win",
    "Application",
    "?",
    "?",
    "NumPad 0",
    "NumPad 1",
    "NumPad 2",
    "NumPad 3",
    "NumPad 4",
    "NumPad 5",
    "NumPad 6",
    "NumPad 7",
    "NumPad 8",
    "NumPad 9",
    "Multiply",
    "Add",
    "?",
    "Subtract",
    "Decimal",
    "Divide",
    "F1",
    "F2",
    "F3",
    "F4",
    "F5",
    "F6",
    "F7",
    "F8",
    "F9",
    "F10",
    "F11",
    "F12",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "Num Lock",
    "Scroll Lock",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "Semicolon",
    "Equals",
    "Comma",
    "Minus",
    "Period",
    "Slash",
    "Grave",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "Left bracket",
    "Backslash",
    "Right bracket",
    "Apostrophe",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
    "?",
};

bool in_range(int vk) {
    return unsigned(vk) <= 255u;
}

float clampf(float v, int size) {
    if (v < 0) return 0;
    if (v > float(size - 1)) return float(size - 1);
    return v;
}

// Keys whose character is a control code, the same on every layout; every other character
// comes from the layout's text input.
int control_char(int vk) {
    switch (vk) {
    case VK_BACK:
        return 8;
    case VK_TAB:
        return 9;
    case VK_RETURN:
        return 13;
    case VK_ESCAPE:
        return 27;
    default:
        return 0;
    }
}

// One UTF-8 code point from `p`, advancing it; 0 at the end, U+FFFD for a broken sequence.
int next_code_point(const unsigned char*& p) {
    unsigned c = *p;
    if (!c) return 0;
    ++p;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (c >= 0x80 && extra == 0) return 0xFFFD;
    unsigned cp = extra == 3 ? c & 7 : extra == 2 ? c & 15 : extra == 1 ? c & 31 : c;
    for (int i = 0; i < extra; ++i, ++p) {
        if ((*p & 0xC0) != 0x80) return 0xFFFD;
        cp = (cp << 6) | (*p & 0x3F);
    }
    return int(cp);
}

int state_flags() {
    int f = 0;
    if (held[VK_SHIFT]) f |= INPUT_FLAG_SHIFT;
    if (held[VK_CONTROL]) f |= INPUT_FLAG_CTRL;
    if (held[VK_MENU]) f |= INPUT_FLAG_ALT;
    if (toggle_mods & KMOD_CAPS) f |= INPUT_FLAG_CAPSLOCK;
    if (toggle_mods & KMOD_SCROLL) f |= INPUT_FLAG_SCROLLLOCK;
    if (toggle_mods & KMOD_NUM) f |= INPUT_FLAG_NUMLOCK;
    if (held[VK_LBUTTON]) f |= INPUT_FLAG_LBUTTON;
    if (held[VK_RBUTTON]) f |= INPUT_FLAG_RBUTTON;
    if (held[VK_MBUTTON]) f |= INPUT_FLAG_MBUTTON;
    return f;
}

int button_code(Uint8 sdl_button) {
    switch (sdl_button) {
    case SDL_BUTTON_LEFT:
        return VK_LBUTTON;
    case SDL_BUTTON_RIGHT:
        return VK_RBUTTON;
    case SDL_BUTTON_MIDDLE:
        return VK_MBUTTON;
    default:
        return 0;
    }
}
} // namespace

int vk_from_key(SDL_Keycode sym, SDL_Scancode sc) {
    // Letters follow the layout's labels (AZERTY's A is where QWERTY has Q); every other
    // key keeps its place, as Windows' virtual keys do (AZERTY's digit row is still 1..0).
    if (sym >= SDLK_a && sym <= SDLK_z) return 'A' + int(sym - SDLK_a);
    return vk_from_scancode(sc);
}

int vk_from_scancode(SDL_Scancode sc) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 'A' + (sc - SDL_SCANCODE_A);
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return '1' + (sc - SDL_SCANCODE_1);
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return VK_F1 + (sc - SDL_SCANCODE_F1);
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return 0x61 + (sc - SDL_SCANCODE_KP_1);
    switch (sc) {
    case SDL_SCANCODE_0:
        return '0';
    case SDL_SCANCODE_RETURN:
        return VK_RETURN;
    case SDL_SCANCODE_KP_ENTER:
        return VK_RETURN;
    case SDL_SCANCODE_ESCAPE:
        return VK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE:
        return VK_BACK;
    case SDL_SCANCODE_TAB:
        return VK_TAB;
    case SDL_SCANCODE_SPACE:
        return VK_SPACE;
    case SDL_SCANCODE_MINUS:
        return 0xBD;
    case SDL_SCANCODE_EQUALS:
        return 0xBB;
    case SDL_SCANCODE_LEFTBRACKET:
        return 0xDB;
    case SDL_SCANCODE_RIGHTBRACKET:
        return 0xDD;
    case SDL_SCANCODE_BACKSLASH:
        return 0xDC;
    case SDL_SCANCODE_NONUSBACKSLASH:
        return 0xE2;
    case SDL_SCANCODE_SEMICOLON:
        return 0xBA;
    case SDL_SCANCODE_APOSTROPHE:
        return 0xDE;
    case SDL_SCANCODE_GRAVE:
        return 0xC0;
    case SDL_SCANCODE_COMMA:
        return 0xBC;
    case SDL_SCANCODE_PERIOD:
        return 0xBE;
    case SDL_SCANCODE_SLASH:
        return 0xBF;
    case SDL_SCANCODE_CAPSLOCK:
        return 0x14;
    case SDL_SCANCODE_PRINTSCREEN:
        return VK_SNAPSHOT;
    case SDL_SCANCODE_SCROLLLOCK:
        return 0x91;
    case SDL_SCANCODE_PAUSE:
        return 0x13;
    case SDL_SCANCODE_INSERT:
        return 0x2D;
    case SDL_SCANCODE_HOME:
        return 0x24;
    case SDL_SCANCODE_PAGEUP:
        return 0x21;
    case SDL_SCANCODE_DELETE:
        return 0x2E;
    case SDL_SCANCODE_END:
        return 0x23;
    case SDL_SCANCODE_PAGEDOWN:
        return 0x22;
    case SDL_SCANCODE_RIGHT:
        return VK_RIGHT;
    case SDL_SCANCODE_LEFT:
        return VK_LEFT;
    case SDL_SCANCODE_DOWN:
        return VK_DOWN;
    case SDL_SCANCODE_UP:
        return VK_UP;
    case SDL_SCANCODE_NUMLOCKCLEAR:
        return 0x90;
    case SDL_SCANCODE_KP_DIVIDE:
        return 0x6F;
    case SDL_SCANCODE_KP_MULTIPLY:
        return 0x6A;
    case SDL_SCANCODE_KP_MINUS:
        return 0x6D;
    case SDL_SCANCODE_KP_PLUS:
        return 0x6B;
    case SDL_SCANCODE_KP_0:
        return 0x60;
    case SDL_SCANCODE_KP_PERIOD:
        return 0x6E;
    case SDL_SCANCODE_APPLICATION:
        return 0x5D;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL:
        return VK_CONTROL;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT:
        return VK_SHIFT;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT:
        return VK_MENU;
    case SDL_SCANCODE_LGUI:
        return 0x5B;
    case SDL_SCANCODE_RGUI:
        return 0x5C;
    default:
        return 0;
    }
}

bool getEvent(InputEvent* out) {
    if (queue_head >= queue.num) return false;
    *out = queue[queue_head++];
    return true;
}

void getMousePos(float* x, float* y) {
    *x = mouse_x;
    *y = mouse_y;
}

void setMousePos(float x, float y) {
    if (input_window) SDL_WarpMouseInWindow(input_window, int(x), int(y));
}

int getMouseWheel() {
    return wheel_accum;
}
bool isMouseOver() {
    return mouse_over;
}
bool getKeyState(int vk) {
    return in_range(vk) && held[vk];
}
bool keyDown(int vk) {
    return in_range(vk) && (key_flags[vk] & 1);
}
bool keyUp(int vk) {
    return in_range(vk) && (key_flags[vk] & 2);
}
const char* getKeyName(int vk) {
    return in_range(vk) ? key_names[vk] : "?";
}
int getKey() {
    return last_key;
}
int getChar() {
    return last_char;
}

void set_input_clamp_size(int width, int height) {
    clamp_wd = width > 0 ? width : 1;
    clamp_ht = height > 0 ? height : 1;
}

void init_input(SDL_Window* window) {
    input_window = window;
    int x = 0, y = 0;
    if (window && SDL_GetMouseFocus() == window) SDL_GetMouseState(&x, &y);
    mouse_x = float(x);
    mouse_y = float(y);
    toggle_mods = SDL_GetModState();
    for (int i = 0; i < 256; ++i) {
        key_flags[i] = 0;
        held[i] = false;
        down_char[i] = 0;
    }
    text_target = -1;
}

void reset_input() {
    for (unsigned char& f : key_flags) f = 0;
    queue.num = 0;
    queue_head = 0;
    text_target = -1;
    last_key = last_char = 0;
    wheel_accum = 0;
}

void queue_input_event(int type, int code, int scan, int flags, float x, float y) {
    InputEvent e = {type, code, flags, 0, 0, x, y};
    bool known = in_range(code);
    if (type == INPUT_KEY_DOWN) {
        if (known) held[code] = true;
        if (!(flags & INPUT_FLAG_REPEAT) && known) key_flags[code] |= 1;
        e.ch = control_char(code);
        if (known) down_char[code] = e.ch;
    } else if (type == INPUT_KEY_UP) {
        if (known) {
            held[code] = false;
            key_flags[code] |= 2;
        }
        e.ch = known ? down_char[code] : 0;
    } else if (type == INPUT_MOUSE_WHEEL) {
        e.key = 0;
        e.wheel = code;
    } else {
        e.key = code;
        if (type == INPUT_BUTTON_DOWN && known) {
            key_flags[code] |= 1;
            held[code] = true;
            if (input_window) SDL_CaptureMouse(SDL_TRUE);
            captured = true;
        } else if (type == INPUT_BUTTON_UP) {
            if (known) {
                key_flags[code] |= 2;
                held[code] = false;
            }
            if (input_window) {
                SDL_CaptureMouse(SDL_FALSE);
                SDL_WarpMouseInWindow(input_window, int(mouse_x), int(mouse_y));
            }
            e.x = mouse_x;
            e.y = mouse_y;
            captured = false;
        }
    }
    (void)scan;
    e.flags |= state_flags();
    if (type == INPUT_KEY_DOWN || type == INPUT_KEY_UP) {
        e.x = mouse_x;
        e.y = mouse_y;
    } else {
        e.x = clampf(e.x, clamp_wd);
        e.y = clampf(e.y, clamp_ht);
    }
    if (queue_head > 0 && queue_head == queue.num) queue.num = queue_head = 0;
    queue.push_back(e);
    text_target = type == INPUT_KEY_DOWN && e.ch == 0 ? queue.num - 1 : -1;
    if (type == INPUT_KEY_DOWN || type == INPUT_BUTTON_DOWN) {
        last_key = e.key;
        last_char = e.ch;
    } else if (type == INPUT_MOUSE_MOVE) {
        mouse_x = e.x;
        mouse_y = e.y;
    } else if (type == INPUT_MOUSE_WHEEL) {
        wheel_accum += e.wheel;
    }
}

void refresh_mouse_over() {
    if (captured || isFullscreen) {
        mouse_over = true;
        return;
    }
    mouse_over = input_window && SDL_GetMouseFocus() == input_window;
}

void input_text(const char* utf8) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
    while (int cp = next_code_point(p)) {
        int ch = cp & 0xFFFF;
        // The layout's text for the key that went down last, when nothing came between.
        if (text_target >= queue_head && text_target == queue.num - 1) {
            InputEvent& down = queue[text_target];
            down.ch = ch;
            if (in_range(down.key)) down_char[down.key] = ch;
            if (last_key == down.key) last_char = ch;
            text_target = -1;
            continue;
        }
        // Text without its own key (a composed character, a second one from a dead key).
        queue_input_event(INPUT_KEY_DOWN, 0, 0, INPUT_FLAG_REPEAT, -1, -1);
        queue[queue.num - 1].ch = ch;
        last_char = ch;
        text_target = -1;
    }
}

bool input_handle_sdl_event(const SDL_Event& ev) {
    switch (ev.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        toggle_mods = ev.key.keysym.mod & (KMOD_CAPS | KMOD_NUM | KMOD_SCROLL);
        int vk = vk_from_key(ev.key.keysym.sym, ev.key.keysym.scancode);
        if (!vk) return true;
        if (ev.type == SDL_KEYDOWN)
            queue_input_event(INPUT_KEY_DOWN, vk, ev.key.keysym.scancode,
                              ev.key.repeat ? INPUT_FLAG_REPEAT : 0, -1, -1);
        else
            queue_input_event(INPUT_KEY_UP, vk, ev.key.keysym.scancode, 0, -1, -1);
        return true;
    }
    case SDL_TEXTINPUT:
        input_text(ev.text.text);
        return true;
    case SDL_MOUSEMOTION:
        queue_input_event(INPUT_MOUSE_MOVE, 0, 0, 0, float(ev.motion.x), float(ev.motion.y));
        return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        int code = button_code(ev.button.button);
        if (!code) return true;
        if (ev.type == SDL_MOUSEBUTTONUP) {
            queue_input_event(INPUT_BUTTON_UP, code, 0, 0, float(ev.button.x), float(ev.button.y));
            return true;
        }
        bool dbl = ev.button.clicks >= 2 && ev.button.clicks % 2 == 0;
        if (!dbl && input_window) SDL_RaiseWindow(input_window); // focus, as a click gives
        queue_input_event(INPUT_BUTTON_DOWN, code, 0, dbl ? INPUT_FLAG_REPEAT : 0,
                          float(ev.button.x), float(ev.button.y));
        return true;
    }
    case SDL_MOUSEWHEEL: {
        int steps = ev.wheel.y;
        if (ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) steps = -steps;
        queue_input_event(INPUT_MOUSE_WHEEL, steps, 0, 0, mouse_x, mouse_y);
        return true;
    }
    default:
        return false;
    }
}
