#include "game/camera.h"
#include "game/game_mode.h"
#include "game/settings.h"
#include "platform/input.h"
#include "render/device.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {
class GameModeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        init_input(nullptr);
        reset_input();
        isAppActive = true;
        set_game_mode(nullptr);
        camera = CameraState();
        set_camera_pos(make4f(10, 20, 30, 1));
    }
    void TearDown() override {
        set_game_mode(nullptr);
        isAppActive = false;
    }
    static void press(int vk) { queue_input_event(INPUT_KEY_DOWN, vk, 0, 0, -1, -1); }
    static void release(int vk) { queue_input_event(INPUT_KEY_UP, vk, 0, 0, -1, -1); }
    // One simulation step of the player flight with the keys of this step.
    static void fly_step(float dt = 0.05f) {
        begin_camera_update(dt);
        player_flight(dt);
        reset_input();
    }
};
} // namespace

TEST_F(GameModeTest, CameraCrossingTheWorldEdgeMovesTheShortWay) {
    camera.prev_pos = make4f(255.5f, 5, 0.5f, 1);
    camera.pos = make4f(0.5f, 7, 255.5f, 1);
    vec4f p = interp_camera_pos(0.5f);
    EXPECT_FLOAT_EQ(p.x, 256.0f);
    EXPECT_FLOAT_EQ(p.y, 6.0f);
    EXPECT_FLOAT_EQ(p.z, 0.0f);
    EXPECT_FLOAT_EQ(wrap_world_delta(-128.0f), 128.0f);
    EXPECT_FLOAT_EQ(wrap_world_delta(300.0f), 44.0f);
}

TEST_F(GameModeTest, CameraMatrixAxesAndInverse) {
    camera.yaw = 0;
    camera.pitch = 0;
    Matrix44 m = camera_matrix(1.0f);
    EXPECT_FLOAT_EQ(m.m[2][2], 1.0f); // looks along +z
    EXPECT_FLOAT_EQ(m.m[0][0], 1.0f); // +x to the right
    EXPECT_FLOAT_EQ(m.m[3][0], 10.0f);
    camera.pitch = 0.3f;
    EXPECT_GT(camera_matrix(1.0f).m[2][1], 0.0f); // positive pitch looks up
    camera.yaw = -0.5f;
    EXPECT_GT(camera_matrix(1.0f).m[2][0], 0.0f); // decreasing yaw turns right
    camera.roll = camera.prev_roll = 0.4f;
    m = camera_matrix(1.0f);
    Matrix44 v = inverse_camera_matrix(m);
    // camera x view = identity
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += m.m[i][k] * v.m[k][j];
            EXPECT_NEAR(s, i == j ? 1.0f : 0.0f, 1e-5f) << i << "," << j;
        }
}

TEST_F(GameModeTest, DoubleTapDashes) {
    press('W');
    fly_step();
    EXPECT_EQ(camera.dash, 0.0f);
    release('W');
    fly_step();
    press('W');
    fly_step();
    EXPECT_EQ(camera.dash, 1.0f);
    float dashing = camera.hspeed;
    EXPECT_NEAR(dashing, 8.0f * 0.05f * 2.0f, 1e-5f);
    release('W');
    for (int i = 0; i < 6; ++i) fly_step(); // the window passes
    press('W');
    fly_step();
    EXPECT_EQ(camera.dash, 0.0f);
    EXPECT_NEAR(camera.hspeed, 8.0f * 0.05f, 1e-5f);
    press('S');
    fly_step();
    press('S');
    fly_step();
    EXPECT_EQ(camera.dash, -1.0f);
}

TEST_F(GameModeTest, OpposingKeysCancelButDashRemains) {
    press('W');
    press('S');
    fly_step();
    EXPECT_EQ(camera.dash, 0.0f);
    EXPECT_FLOAT_EQ(camera.hspeed, 0.0f); // W and S held: forward 0
    EXPECT_FLOAT_EQ(camera.roll, 0.0f);
}

TEST_F(GameModeTest, InactiveWindowStopsFlightAndShowsTheCursor) {
    isAppActive = false;
    shouldHideMouse = true;
    camera.mouse_captured = true;
    press('W');
    fly_step();
    EXPECT_FALSE(camera.mouse_captured);
    EXPECT_FALSE(shouldHideMouse);
    EXPECT_FLOAT_EQ(camera.hspeed, 0.0f);
}

TEST_F(GameModeTest, MouseOutsideTheWindowDoesNotTurn) {
    camera.mouse_captured = true;
    camera.yaw = 0.25f;
    queue_input_event(INPUT_MOUSE_MOVE, 0, 0, 0, 1000, 10);
    refresh_mouse_over(); // no window: the mouse is not over it
    dev_mouse_look(0.0f);
    EXPECT_FLOAT_EQ(camera.yaw, 0.25f);
    EXPECT_FALSE(shouldHideMouse);
    play_mouse_look(0.0f);
    EXPECT_FLOAT_EQ(camera.yaw, 0.25f);
    EXPECT_FALSE(camera.mouse_captured);
}

TEST_F(GameModeTest, FunctionKeysAndModeSwitches) {
    int start = land_shadow_quality;
    for (int i = 0; i < 3; ++i) {
        press(VK_SHIFT);
        press(VK_F5);
        run_global_keys();
        reset_input();
        release(VK_SHIFT);
        reset_input();
    }
    EXPECT_EQ(land_shadow_quality, start);
    bool postfx = use_postfx, ppaa = use_ppaa, fps = show_fps;
    press(VK_F5);
    press(VK_F6);
    press(VK_F1);
    run_global_keys();
    reset_input();
    EXPECT_NE(use_postfx, postfx);
    EXPECT_NE(use_ppaa, ppaa);
    EXPECT_NE(show_fps, fps);

    set_game_mode(&play_game_mode);
    press(VK_ESCAPE);
    run_global_keys();
    reset_input();
    EXPECT_EQ(get_game_mode(), &game_menu_mode);
    EXPECT_EQ(game_menu_mode.return_mode, &play_game_mode);
    press(VK_F9); // from the menu F9 goes to the developer mode
    run_global_keys();
    reset_input();
    EXPECT_EQ(get_game_mode(), &dev_game_mode);
    press(VK_F9);
    run_global_keys();
    reset_input();
    EXPECT_EQ(get_game_mode(), &play_game_mode);
}

TEST_F(GameModeTest, FrameFlashFades) {
    cur_frame_color = make4f(1, 0.5f, 0.25f, 1);
    begin_camera_update(0.05f);
    EXPECT_FLOAT_EQ(prev_frame_color.w, 1.0f);
    EXPECT_FLOAT_EQ(cur_frame_color.w, 1.0f * (1 - 0.025f) - 0.025f);
    EXPECT_FLOAT_EQ(cur_frame_color.x, 1.0f);
    for (int i = 0; i < 100; ++i) begin_camera_update(0.05f);
    EXPECT_FLOAT_EQ(cur_frame_color.w, 0.0f);
}

TEST_F(GameModeTest, DevZoomSlowsTheMouseAndNarrowsTheView) {
    queue_input_event(INPUT_BUTTON_DOWN, VK_MBUTTON, 0, 0, 0, 0);
    for (int i = 0; i < 10; ++i) {
        begin_camera_update(0.05f);
        dev_free_flight(0.05f);
    }
    EXPECT_FLOAT_EQ(camera.zoom, 8.0f);
    queue_input_event(INPUT_BUTTON_UP, VK_MBUTTON, 0, 0, 0, 0);
    reset_input();
    begin_camera_update(0.05f);
    dev_free_flight(0.05f);
    EXPECT_FLOAT_EQ(camera.zoom, 7.0f);
    EXPECT_NEAR(CAMERA_FOV / 8.0f * 180.0f / 3.14159265f, 74.0f / 8.0f, 1e-4f);
}
