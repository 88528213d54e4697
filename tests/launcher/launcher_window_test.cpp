#include "launcher/launcher.h"
#include "launcher/launcher_window.h"
#include "platform/config.h"
#include "platform/input.h"
#include "test_support.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <utility>

namespace {
std::string read_file(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

SDL_Event key_event(SDL_Scancode sc, Uint16 mod) {
    SDL_Event e = {};
    e.type = SDL_KEYDOWN;
    e.key.keysym.scancode = sc;
    e.key.keysym.mod = mod;
    e.key.windowID = SDL_GetWindowID(launcher_window);
    return e;
}

void push_click(float x, float y) {
    Uint32 id = SDL_GetWindowID(launcher_window);
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = id;
    e.motion.x = int(x);
    e.motion.y = int(y);
    SDL_PushEvent(&e);
    for (Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
        e = {};
        e.type = type;
        e.button.windowID = id;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.clicks = 1;
        e.button.x = int(x);
        e.button.y = int(y);
        SDL_PushEvent(&e);
    }
}

struct LauncherWindowTest : ::testing::Test {
    std::string cfg = make_temp_dir("wcfg");
    void SetUp() override {
        setenv("VELTMOOR_CONFIG_DIR", cfg.c_str(), 1);
        char name[] = "launchpad";
        char* argv[] = {name, nullptr};
        ASSERT_TRUE(start_launcher(1, argv));
    }
    void TearDown() override { close_launcher_all(); }
};
} // namespace

TEST_F(LauncherWindowTest, AltF4ClosesWithoutStoringChangedOptions) {
    set_config_int("flags", 4);
    std::string before = read_file(cfg + "/settings");
    paint_launcher_window();
    GuiElement* fs = find_launcher_control(CMD_FULLSCREEN);
    push_click((fs->box.left + fs->box.right) / 2, (fs->box.top + fs->box.bottom) / 2);
    EXPECT_TRUE(pump_launcher_messages());
    launcher_screen()->processInput(0.03f);
    reset_input();
    EXPECT_TRUE(launcher_settings.fullscreen);

    SDL_Event alt_f4 = key_event(SDL_SCANCODE_F4, KMOD_LALT);
    SDL_PushEvent(&alt_f4);
    run_launcher_loop();
    EXPECT_TRUE(launcher_quit_requested());
    EXPECT_EQ(launcher_exit_code(), 0);
    EXPECT_FALSE(isAppActive);
    EXPECT_EQ(read_file(cfg + "/settings"), before);
}

TEST_F(LauncherWindowTest, AltEnterIsAnOrdinaryEnterKey) {
    reset_input();
    launcher_window_proc(key_event(SDL_SCANCODE_LALT, KMOD_LALT));
    launcher_window_proc(key_event(SDL_SCANCODE_RETURN, KMOD_LALT));
    InputEvent e;
    ASSERT_TRUE(getEvent(&e));
    EXPECT_EQ(e.key, VK_MENU);
    ASSERT_TRUE(getEvent(&e));
    EXPECT_EQ(e.type, INPUT_KEY_DOWN);
    EXPECT_EQ(e.key, VK_RETURN);
    EXPECT_TRUE(e.flags & INPUT_FLAG_ALT);
    EXPECT_FALSE(launcher_quit_requested());
    // A plain F4 is a key too.
    launcher_window_proc(key_event(SDL_SCANCODE_F4, 0));
    ASSERT_TRUE(getEvent(&e));
    EXPECT_EQ(e.key, VK_F4);
}

TEST_F(LauncherWindowTest, PaintFollowsTheClientSize) {
    ::testing::internal::CaptureStdout();
    paint_launcher_window();
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("resized screen buffer to 640x480"),
              std::string::npos);
    EXPECT_EQ(frame_buffer_width(), 640);
    EXPECT_EQ(frame_buffer_height(), 480);
    // The window shows the frame buffer's colours.
    SDL_Surface* shown = SDL_GetWindowSurface(launcher_window);
    ASSERT_NE(shown, nullptr);
    ASSERT_EQ(SDL_LockSurface(shown), 0);
    GuiElement* start = find_launcher_control(CMD_START);
    for (auto [x, y] : {std::pair{1, 1}, std::pair{int(start->box.left), int(start->box.top)},
                        std::pair{int(start->box.left) + 3, int(start->box.top) + 3}}) {
        Uint32 raw = 0;
        memcpy(&raw,
               static_cast<Uint8*>(shown->pixels) + y * shown->pitch +
                   x * shown->format->BytesPerPixel,
               shown->format->BytesPerPixel);
        Uint8 r, g, b;
        SDL_GetRGB(raw, shown->format, &r, &g, &b);
        uint32_t want = frame_buffer_pixels()[y * 640 + x] & 0xFFFFFF;
        EXPECT_EQ(uint32_t(r) << 16 | uint32_t(g) << 8 | b, want) << x << "," << y;
    }
    SDL_UnlockSurface(shown);
    SDL_SetWindowSize(launcher_window, 800, 600);
    int w = 0, h = 0;
    SDL_GetWindowSize(launcher_window, &w, &h);
    ::testing::internal::CaptureStdout();
    paint_launcher_window();
    std::string log = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(frame_buffer_width(), w);
    EXPECT_EQ(frame_buffer_height(), h);
    if (w == 800 && h == 600) {
        EXPECT_NE(log.find("resized screen buffer to 800x600"), std::string::npos) << log;
        EXPECT_FLOAT_EQ(launcher_screen()->root->box.left, 80);
    }
}
