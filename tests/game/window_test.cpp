#include "game/main_loop.h"
#include "game/window.h"
#include "platform/input.h"
#include "render/device.h"
#include "render/gpu_load.h"

#include <gtest/gtest.h>

namespace {
SDL_Event key(Uint32 type, SDL_Scancode sc, Uint16 mod) {
    SDL_Event e = {};
    e.type = type;
    e.key.keysym.scancode = sc;
    e.key.keysym.mod = mod;
    e.key.windowID = SDL_GetWindowID(game_window);
    return e;
}

class GameWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(register_window_class());
        ASSERT_NE(create_game_window(false, 640, 360), nullptr);
        int w, h;
        get_client_size(&w, &h);
        EXPECT_EQ(w, 640);
        EXPECT_EQ(h, 360);
        init_input(game_window);
        init_d3d(game_window, w, h);
    }
    static void TearDownTestSuite() {
        close_d3d();
        destroy_game_window();
        SDL_Quit();
    }
    void SetUp() override {
        reset_input();
        reset_main_loop_for_tests();
    }
};
} // namespace

TEST_F(GameWindowTest, AltEnterTogglesFullscreenAndQueuesNothing) {
    ASSERT_FALSE(isFullscreen);
    game_window_proc(key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_LALT));
    EXPECT_TRUE(isFullscreen);
    game_window_proc(key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_LALT));
    EXPECT_FALSE(isFullscreen);
    // The device went back to half the fullscreen size or the saved window size.
    EXPECT_GT(d3d_wd, 0);
    EXPECT_GT(d3d_ht, 0);
    InputEvent e;
    EXPECT_FALSE(getEvent(&e));
    // Enter alone is an ordinary key.
    game_window_proc(key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, 0));
    ASSERT_TRUE(getEvent(&e));
    EXPECT_EQ(e.key, VK_RETURN);
}

TEST_F(GameWindowTest, AltF4ClosesTheWindowThroughTheQuitMessage) {
    game_window_proc(key(SDL_KEYDOWN, SDL_SCANCODE_F4, KMOD_LALT));
    InputEvent e;
    EXPECT_FALSE(getEvent(&e));
    EXPECT_FALSE(is_quit_requested());
    pump_messages(); // close -> quit message
    pump_messages();
    EXPECT_TRUE(is_quit_requested());
    EXPECT_FALSE(isAppActive);
}

TEST_F(GameWindowTest, ResizeReachesTheDevice) {
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    e.window.data1 = 800;
    e.window.data2 = 500;
    game_window_proc(e);
    EXPECT_EQ(d3d_wd, 800);
    EXPECT_EQ(d3d_ht, 500);
    // Mouse positions clamp to the new back buffer after the next pump.
    pump_messages();
    queue_input_event(INPUT_MOUSE_MOVE, 0, 0, 0, 5000, 5000);
    InputEvent ev;
    ASSERT_TRUE(getEvent(&ev));
    EXPECT_EQ(ev.x, 799.0f);
    EXPECT_EQ(ev.y, 499.0f);
}
