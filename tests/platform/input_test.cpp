#include "platform/input.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <vector>

namespace {
// A key of the US layout unless `sym` names the layout's symbol for the place `sc`.
SDL_Event key_event(Uint32 type, SDL_Scancode sc, bool repeat = false, Uint16 mod = 0,
                    SDL_Keycode sym = SDLK_UNKNOWN) {
    SDL_Event e = {};
    e.type = type;
    e.key.keysym.scancode = sc;
    if (sym == SDLK_UNKNOWN)
        sym = sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z ? SDLK_a + (sc - SDL_SCANCODE_A)
                                                           : SDL_SCANCODE_TO_KEYCODE(sc);
    e.key.keysym.sym = sym;
    e.key.repeat = repeat;
    e.key.keysym.mod = mod;
    return e;
}

SDL_Event text_event(const char* utf8) {
    SDL_Event e = {};
    e.type = SDL_TEXTINPUT;
    snprintf(e.text.text, sizeof(e.text.text), "%s", utf8);
    return e;
}

// A key press as SDL delivers it: the key, then the layout's text for it.
void press(SDL_Scancode sc, SDL_Keycode sym, const char* text, Uint16 mod = 0) {
    input_handle_sdl_event(key_event(SDL_KEYDOWN, sc, false, mod, sym));
    if (text) input_handle_sdl_event(text_event(text));
}

SDL_Event button_event(Uint32 type, Uint8 button, int x, int y, Uint8 clicks = 1) {
    SDL_Event e = {};
    e.type = type;
    e.button.button = button;
    e.button.x = x;
    e.button.y = y;
    e.button.clicks = clicks;
    return e;
}

SDL_Event motion_event(int x, int y) {
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    return e;
}

std::vector<InputEvent> drain() {
    std::vector<InputEvent> v;
    InputEvent e;
    while (getEvent(&e)) v.push_back(e);
    return v;
}

class InputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        init_input(nullptr);
        reset_input();
        set_input_clamp_size(640, 480);
        isFullscreen = false;
    }
};
} // namespace

TEST_F(InputTest, HeldKeyGivesOneDownThenRepeats) {
    press(SDL_SCANCODE_A, SDLK_a, "a");
    input_handle_sdl_event(key_event(SDL_KEYDOWN, SDL_SCANCODE_A, true));
    input_handle_sdl_event(text_event("a"));
    EXPECT_TRUE(keyDown('A'));
    EXPECT_TRUE(getKeyState('A'));
    auto ev = drain();
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].type, INPUT_KEY_DOWN);
    EXPECT_EQ(ev[0].key, 'A');
    EXPECT_EQ(ev[0].ch, 'a');
    EXPECT_EQ(ev[0].flags & INPUT_FLAG_REPEAT, 0);
    EXPECT_EQ(ev[1].flags & INPUT_FLAG_REPEAT, INPUT_FLAG_REPEAT);
    EXPECT_EQ(getKey(), 'A');
    EXPECT_EQ(getChar(), 'a');

    reset_input(); // next step: only repeats arrive
    input_handle_sdl_event(key_event(SDL_KEYDOWN, SDL_SCANCODE_A, true));
    EXPECT_FALSE(keyDown('A'));
    EXPECT_TRUE(getKeyState('A'));
    input_handle_sdl_event(key_event(SDL_KEYUP, SDL_SCANCODE_A));
    EXPECT_TRUE(keyUp('A'));
    EXPECT_FALSE(getKeyState('A'));
    reset_input();
    EXPECT_FALSE(keyUp('A'));
    EXPECT_EQ(getKey(), 0);
    InputEvent e;
    EXPECT_FALSE(getEvent(&e));
}

TEST_F(InputTest, ModifiersAndCharacters) {
    input_handle_sdl_event(key_event(SDL_KEYDOWN, SDL_SCANCODE_LSHIFT));
    press(SDL_SCANCODE_1, SDLK_1, "!", KMOD_LSHIFT);
    press(SDL_SCANCODE_B, SDLK_b, "b", KMOD_LSHIFT | KMOD_CAPS);
    input_handle_sdl_event(key_event(SDL_KEYUP, SDL_SCANCODE_LSHIFT, false, KMOD_CAPS | KMOD_NUM));
    input_handle_sdl_event(
        key_event(SDL_KEYDOWN, SDL_SCANCODE_RETURN, false, KMOD_CAPS | KMOD_NUM));
    auto ev = drain();
    ASSERT_EQ(ev.size(), 5u);
    EXPECT_EQ(ev[0].key, VK_SHIFT);
    EXPECT_EQ(ev[0].flags & INPUT_FLAG_SHIFT, INPUT_FLAG_SHIFT);
    EXPECT_EQ(ev[1].ch, '!');
    EXPECT_EQ(ev[2].ch, 'b'); // Shift with Caps Lock gives lower case
    EXPECT_EQ(ev[2].flags & (INPUT_FLAG_SHIFT | INPUT_FLAG_CAPSLOCK),
              INPUT_FLAG_SHIFT | INPUT_FLAG_CAPSLOCK);
    EXPECT_EQ(ev[4].ch, 13);
    EXPECT_EQ(ev[4].flags, INPUT_FLAG_CAPSLOCK | INPUT_FLAG_NUMLOCK);
}

TEST_F(InputTest, KeysFollowAnAzertyLayout) {
    // AZERTY: the key at QWERTY's Q is labelled A, at W is Z, at A is Q, at Z is W; the digit
    // row types & é " without Shift and keeps its virtual keys 1, 2, 3.
    press(SDL_SCANCODE_Q, SDLK_a, "a");
    press(SDL_SCANCODE_Z, SDLK_w, "w");
    press(SDL_SCANCODE_A, SDLK_q, "q");
    press(SDL_SCANCODE_W, SDLK_z, "Z", KMOD_LSHIFT);
    press(SDL_SCANCODE_1, SDLK_AMPERSAND, "&");
    press(SDL_SCANCODE_2, 0xE9, "\xC3\xA9"); // é
    press(SDL_SCANCODE_SEMICOLON, SDLK_m, "m");
    press(SDL_SCANCODE_RETURN, SDLK_RETURN, nullptr);
    auto ev = drain();
    ASSERT_EQ(ev.size(), 8u);
    const int keys[] = {'A', 'W', 'Q', 'Z', '1', '2', 'M', VK_RETURN};
    const int chars[] = {'a', 'w', 'q', 'Z', '&', 0xE9, 'm', 13};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(ev[size_t(i)].type, INPUT_KEY_DOWN) << i;
        EXPECT_EQ(ev[size_t(i)].key, keys[i]) << i;
        EXPECT_EQ(ev[size_t(i)].ch, chars[i]) << i;
    }
    // Flying forward with W means the key labelled W, wherever the layout puts it.
    EXPECT_TRUE(keyDown('W'));
    EXPECT_TRUE(getKeyState('A'));
    EXPECT_EQ(getKey(), VK_RETURN);
    EXPECT_EQ(getChar(), 13);
    // Releasing the key reports the character its press typed.
    input_handle_sdl_event(key_event(SDL_KEYUP, SDL_SCANCODE_2, false, 0, 0xE9));
    ev = drain();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].key, '2');
    EXPECT_EQ(ev[0].ch, 0xE9);
}

TEST_F(InputTest, TextWithoutItsOwnKeyIsStillTyped) {
    // A dead key (^) then a key it cannot combine with: one key down, two characters.
    press(SDL_SCANCODE_LEFTBRACKET, SDLK_CARET, nullptr);
    press(SDL_SCANCODE_P, SDLK_p, "^p");
    input_handle_sdl_event(text_event("\xE2\x82\xAC")); // € from a compose sequence
    auto ev = drain();
    ASSERT_EQ(ev.size(), 4u);
    EXPECT_EQ(ev[0].ch, 0);
    EXPECT_EQ(ev[1].key, 'P');
    EXPECT_EQ(ev[1].ch, '^');
    EXPECT_EQ(ev[2].key, 0);
    EXPECT_EQ(ev[2].ch, 'p');
    EXPECT_EQ(ev[3].ch, 0x20AC);
    EXPECT_FALSE(keyDown(0)); // text alone presses no key
    EXPECT_EQ(getChar(), 0x20AC);
    // Broken UTF-8 becomes the replacement character, never a read past the text.
    input_handle_sdl_event(text_event("\xC3"));
    ASSERT_EQ(drain().back().ch, 0xFFFD);
}

TEST_F(InputTest, KeyCodesOutsideTheTableAreSafe) {
    EXPECT_FALSE(keyDown(-1));
    EXPECT_FALSE(keyDown(256));
    EXPECT_FALSE(keyUp(100000));
    EXPECT_FALSE(getKeyState(-5));
    EXPECT_STREQ(getKeyName(-1), "?");
    EXPECT_STREQ(getKeyName(256), "?");
    EXPECT_STREQ(getKeyName(0x6C), "?");
    EXPECT_STREQ(getKeyName(0x0D), "Enter");
    EXPECT_STREQ(getKeyName(0x5A), "Z");
    EXPECT_STREQ(getKeyName(0x7B), "F12");
    EXPECT_STREQ(getKeyName(0xDE), "Apostrophe");
    EXPECT_STREQ(getKeyName(0xC0), "Grave");
    EXPECT_STREQ(getKeyName(0x91), "Scroll Lock");
    queue_input_event(INPUT_KEY_DOWN, 300, 0, 0, -1, -1); // no flag, no crash
    EXPECT_FALSE(keyDown(300 & 255));
}

TEST_F(InputTest, DoubleClickAndButtonRelease) {
    input_handle_sdl_event(motion_event(100, 50));
    input_handle_sdl_event(button_event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 100, 50));
    input_handle_sdl_event(button_event(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 100, 50));
    input_handle_sdl_event(button_event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 100, 50, 2));
    // Dragged off the window while held: the release reports the last position seen.
    input_handle_sdl_event(motion_event(-30, 700));
    input_handle_sdl_event(button_event(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, -30, 700));
    auto ev = drain();
    ASSERT_EQ(ev.size(), 6u);
    EXPECT_EQ(ev[1].type, INPUT_BUTTON_DOWN);
    EXPECT_EQ(ev[1].key, VK_LBUTTON);
    EXPECT_EQ(ev[1].flags & INPUT_FLAG_REPEAT, 0);
    EXPECT_EQ(ev[1].flags & INPUT_FLAG_LBUTTON, INPUT_FLAG_LBUTTON);
    EXPECT_EQ(ev[2].type, INPUT_BUTTON_UP);
    EXPECT_EQ(ev[3].flags & INPUT_FLAG_REPEAT, INPUT_FLAG_REPEAT);
    EXPECT_EQ(ev[4].type, INPUT_MOUSE_MOVE);
    EXPECT_EQ(ev[4].x, 0.0f); // negative coordinates clamp to the edge
    EXPECT_EQ(ev[4].y, 479.0f);
    EXPECT_EQ(ev[5].x, 0.0f);
    EXPECT_EQ(ev[5].y, 479.0f);
    EXPECT_EQ(ev[5].flags & INPUT_FLAG_LBUTTON, 0);
    EXPECT_TRUE(keyDown(VK_LBUTTON));
    EXPECT_TRUE(keyUp(VK_LBUTTON));
    float x, y;
    getMousePos(&x, &y);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 479.0f);
}

TEST_F(InputTest, WheelAccumulatesUntilReset) {
    SDL_Event e = {};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = 2;
    input_handle_sdl_event(e);
    e.wheel.y = -1;
    input_handle_sdl_event(e);
    e.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
    e.wheel.y = 3;
    input_handle_sdl_event(e);
    EXPECT_EQ(getMouseWheel(), -2);
    auto ev = drain();
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_EQ(ev[0].type, INPUT_MOUSE_WHEEL);
    EXPECT_EQ(ev[0].key, 0);
    EXPECT_EQ(ev[0].wheel, 2);
    reset_input();
    EXPECT_EQ(getMouseWheel(), 0);
}

TEST_F(InputTest, QueueIsFirstInFirstOutAcrossRefills) {
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 50; ++i) queue_input_event(INPUT_MOUSE_MOVE, 0, 0, 0, float(i), 1);
        InputEvent e;
        for (int i = 0; i < 25; ++i) {
            ASSERT_TRUE(getEvent(&e));
            EXPECT_EQ(e.x, float(i));
        }
        queue_input_event(INPUT_MOUSE_MOVE, 0, 0, 0, 7, 7);
        int n = 0;
        while (getEvent(&e)) ++n;
        EXPECT_EQ(n, 26);
    }
}
