#include "game/settings.h"
#include "launcher/launcher.h"
#include "platform/config.h"
#include "test_support.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace {
bool near_rgb(uint32_t a, uint32_t b) {
    for (int s = 0; s < 24; s += 8) {
        int d = int((a >> s) & 0xFF) - int((b >> s) & 0xFF);
        if (d < -1 || d > 1) return false;
    }
    return true;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Waits for a stand-in program to leave its output.
std::string wait_for_file(const std::string& path) {
    for (int i = 0; i < 200; ++i) {
        std::string s = read_file(path);
        if (!s.empty() && s.back() == '\n') return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return read_file(path);
}

std::string write_script(const std::string& dir, const char* name, const char* body) {
    std::string path = dir + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

struct LauncherFixture : ::testing::Test {
    std::string cfg = make_temp_dir("cfg");
    std::string tmp = make_temp_dir("run");

    void SetUp() override {
        setenv("VELTMOOR_CONFIG_DIR", cfg.c_str(), 1);
        unsetenv("VELTMOOR_GAME_PATH");
        unsetenv("VELTMOOR_URL_OPENER");
        launcher_settings = LauncherSettings();
        reset_input();
    }
    void TearDown() override { close_launcher(); }

    void start(int w = 640, int h = 480) {
        read_launcher_settings();
        init_launcher(app_font_path().c_str(), w, h);
        set_input_clamp_size(w, h);
    }
    GuiElement* control(int id) {
        GuiElement* c = find_launcher_control(id);
        EXPECT_NE(c, nullptr) << id;
        return c;
    }
    void click(int id) {
        GuiElement* c = control(id);
        float x = (c->box.left + c->box.right) / 2, y = (c->box.top + c->box.bottom) / 2;
        queue_input_event(INPUT_MOUSE_MOVE, 0, 0, 0, x, y);
        queue_input_event(INPUT_BUTTON_DOWN, VK_LBUTTON, 0, 0, x, y);
        queue_input_event(INPUT_BUTTON_UP, VK_LBUTTON, 0, 0, x, y);
        launcher_screen()->processInput(0.03f);
        reset_input();
    }
    uint32_t normal_fill(int id) { return control(id)->findChild(".normal")->fillColor; }
    bool row_shown(int id) { return control(id)->isVisible(); }
    std::string settings_text() { return read_file(cfg + "/settings"); }
    uint32_t pixel(int x, int y) {
        return frame_buffer_pixels()[size_t(y) * size_t(frame_buffer_width()) + size_t(x)];
    }
};

void expect_box(GuiElement* e, float left, float top, float w, float h) {
    EXPECT_FLOAT_EQ(e->box.left, left) << e->name;
    EXPECT_FLOAT_EQ(e->box.top, top) << e->name;
    EXPECT_FLOAT_EQ(e->box.right - e->box.left, w) << e->name;
    EXPECT_FLOAT_EQ(e->box.bottom - e->box.top, h) << e->name;
}
} // namespace

TEST_F(LauncherFixture, ScreenLaysOutRowsButtonsAndPanelInUnits) {
    start(640, 480);
    GuiScreen* s = launcher_screen();
    EXPECT_EQ(s->scale, 1);
    EXPECT_EQ(launcher_renderer()->unit(), 16);
    expect_box(s->root, 0, 0, 640, 480);
    expect_box(control(CMD_FULLSCREEN), 14 * 16, 6.5f * 16, 32, 32);
    expect_box(control(CMD_VSYNC), 14 * 16, 9 * 16, 32, 32);
    expect_box(control(CMD_QUALITY_0), 14 * 16, 11.5f * 16, 32, 32);
    expect_box(control(CMD_QUALITY_0 + 1), 16.5f * 16, 11.5f * 16, 32, 32);
    expect_box(control(CMD_ANTI_ALIASING), 14 * 16, 14 * 16, 32, 32);
    expect_box(control(CMD_LAND_SHADOWS_0 + 2), 19 * 16, 16.5f * 16, 32, 32);
    expect_box(control(CMD_OBJECT_SHADOWS), 14 * 16, 19 * 16, 32, 32);
    expect_box(control(CMD_START), 2 * 16, 22.5f * 16, 11 * 16, 5 * 16);
    expect_box(control(CMD_QUIT), 13.5f * 16, 22.5f * 16, 11 * 16, 5 * 16);
    expect_box(control(CMD_VISIT_SITE), 25 * 16, 22.5f * 16, 13 * 16, 5 * 16);
    // A state box fills its control exactly, its one-pixel border included.
    GuiElement* st = control(CMD_START)->findChild(".over");
    EXPECT_FLOAT_EQ(st->box.left - st->borderWidths.left, 32);
    EXPECT_FLOAT_EQ(st->box.right + st->borderWidths.right, 32 + 176);
    EXPECT_FLOAT_EQ(st->borderWidths.top, 1);

    // Twice the size doubles every length; a size between centres the panel at scale 1.
    resize_frame_buffer(1280, 960);
    EXPECT_EQ(s->scale, 2);
    expect_box(control(CMD_START), 64, 22.5f * 32, 11 * 32, 5 * 32);
    EXPECT_FLOAT_EQ(control(CMD_START)->findChild(".normal")->borderWidths.left, 2);
    resize_frame_buffer(800, 600);
    EXPECT_EQ(s->scale, 1);
    expect_box(s->root, 80, 60, 640, 480);
    expect_box(control(CMD_FULLSCREEN), 80 + 14 * 16, 60 + 6.5f * 16, 32, 32);
}

TEST_F(LauncherFixture, FrameBufferShowsTheOptionsScreen) {
    set_config_int("flags", 4 | 8);
    start(640, 480);
    click(CMD_FULLSCREEN);
    // Hover over Quit so the picture shows a highlighted button too.
    GuiElement* quit = control(CMD_QUIT);
    queue_input_event(INPUT_MOUSE_MOVE, 0, 0, 0, quit->box.left + 5, quit->box.top + 5);
    launcher_screen()->processInput(0.03f);
    reset_input();
    render_frame_buffer();
    std::string png = write_frame_png("launcher_screen.png", frame_buffer_pixels(),
                                      frame_buffer_width(), frame_buffer_height());
    EXPECT_TRUE(std::filesystem::exists(png));

    EXPECT_EQ(pixel(1, 1), 0x222222u); // panel
    GuiElement* start_btn = control(CMD_START);
    int sx = int(start_btn->box.left), sy = int(start_btn->box.top);
    EXPECT_EQ(pixel(sx, sy), 0x505050u);         // normal border
    EXPECT_EQ(pixel(sx + 3, sy + 3), 0x323232u); // normal fill
    int qx = int(quit->box.left), qy = int(quit->box.top);
    EXPECT_EQ(pixel(qx, qy), 0x828282u);            // over: light top-left
    EXPECT_EQ(pixel(qx + 175, qy + 79), 0x464646u); // and dark bottom-right
    EXPECT_EQ(pixel(qx + 3, qy + 3), 0x646464u);    // over fill
    GuiElement* fs = control(CMD_FULLSCREEN);
    EXPECT_TRUE(near_rgb(pixel(int(fs->box.left) + 4, int(fs->box.top) + 4), 0xAA4411)); // on
    GuiElement* aa = control(CMD_ANTI_ALIASING);
    EXPECT_TRUE(near_rgb(pixel(int(aa->box.left) + 4, int(aa->box.top) + 4), 0x000000)); // off
    EXPECT_TRUE(near_rgb(pixel(int(aa->box.left), int(aa->box.top)), 0x221100));         // border
    // Bright title text lies in the top rows, grey notice text near the bottom.
    int white = 0, grey = 0;
    for (int y = 16; y < 80; ++y)
        for (int x = 32; x < 320; ++x) white += (pixel(x, y) & 0xFF) >= 0xC0;
    for (int y = 456; y < 472; ++y)
        for (int x = 32; x < 400; ++x) grey += pixel(x, y) == 0x808080u;
    EXPECT_GT(white, 1000);
    EXPECT_GT(grey, 20);

    // At twice the size every length doubles, one-pixel borders included.
    resize_frame_buffer(1280, 960);
    render_frame_buffer();
    write_frame_png("launcher_screen_2x.png", frame_buffer_pixels(), frame_buffer_width(),
                    frame_buffer_height());
    sx = int(start_btn->box.left);
    sy = int(start_btn->box.top);
    EXPECT_EQ(sx, 64);
    EXPECT_EQ(pixel(sx, sy), 0x505050u);
    EXPECT_EQ(pixel(sx + 1, sy + 1), 0x505050u);
    EXPECT_EQ(pixel(sx + 2, sy + 2), 0x323232u);
    EXPECT_EQ(pixel(sx + 351, sy + 159), 0x505050u);
    EXPECT_EQ(pixel(sx + 352, sy + 159), 0x222222u);
}

TEST_F(LauncherFixture, StoredHighSelectsTheSecondRadioBox) {
    set_config_str("gfx_quality", "High", -1);
    set_config_int("land_shadows", 1);
    start();
    EXPECT_EQ(launcher_settings.gfxQuality, 1);
    EXPECT_EQ(normal_fill(CMD_QUALITY_0), 0xFF000000u);
    EXPECT_EQ(normal_fill(CMD_QUALITY_0 + 1), 0xFFAA4411u);
    EXPECT_EQ(normal_fill(CMD_LAND_SHADOWS_0 + 1), 0xFFAA4411u);
    EXPECT_EQ(normal_fill(CMD_LAND_SHADOWS_0 + 2), 0xFF000000u);
    GuiElement* on = control(CMD_QUALITY_0 + 1);
    EXPECT_EQ(on->findChild(".over")->fillColor, 0xFFEE8822u);
    EXPECT_EQ(on->findChild(".pressed")->fillColor, 0xFF221100u);
    GuiElement* off = control(CMD_QUALITY_0);
    EXPECT_EQ(off->findChild(".over")->fillColor, 0xFF221100u);
    EXPECT_EQ(off->findChild(".pressed")->fillColor, 0xFFEE8822u);
}

TEST_F(LauncherFixture, ReadingKeepsDefaultsForMissingOrUnusableValues) {
    start();
    EXPECT_FALSE(launcher_settings.fullscreen);
    EXPECT_FALSE(launcher_settings.antiAliasing);
    EXPECT_TRUE(launcher_settings.vsync);
    EXPECT_TRUE(launcher_settings.objectShadows);
    EXPECT_EQ(launcher_settings.landShadows, 2);
    EXPECT_EQ(launcher_settings.gfxQuality, 1);
    close_launcher();
    set_config_str("flags", "15", -1); // wrong type
    set_config_int("land_shadows", 7);
    set_config_str("gfx_quality", "ultra", -1);
    launcher_settings = LauncherSettings();
    start();
    EXPECT_FALSE(launcher_settings.fullscreen);
    EXPECT_EQ(launcher_settings.landShadows, 2);
    EXPECT_EQ(launcher_settings.gfxQuality, 1);
    close_launcher();
    set_config_int("flags", 1 | 2);
    set_config_str("gfx_quality", "LOW", -1);
    launcher_settings = LauncherSettings();
    start();
    EXPECT_TRUE(launcher_settings.fullscreen);
    EXPECT_TRUE(launcher_settings.antiAliasing);
    EXPECT_FALSE(launcher_settings.vsync);
    EXPECT_FALSE(launcher_settings.objectShadows);
    EXPECT_EQ(launcher_settings.gfxQuality, 0);
}

TEST_F(LauncherFixture, LowQualityHidesShadowRowsAndKeepsTheirValues) {
    set_config_int("flags", 4); // object shadows off
    set_config_int("land_shadows", 1);
    start();
    EXPECT_TRUE(row_shown(CMD_LAND_SHADOWS_0));
    EXPECT_TRUE(row_shown(CMD_OBJECT_SHADOWS));
    click(CMD_QUALITY_0);
    EXPECT_EQ(launcher_settings.gfxQuality, 0);
    EXPECT_FALSE(row_shown(CMD_LAND_SHADOWS_0));
    EXPECT_FALSE(row_shown(CMD_OBJECT_SHADOWS));
    EXPECT_TRUE(row_shown(CMD_ANTI_ALIASING));
    // Clicking where a hidden box sits changes nothing.
    click(CMD_LAND_SHADOWS_0 + 2);
    click(CMD_OBJECT_SHADOWS);
    EXPECT_EQ(launcher_settings.landShadows, 1);
    EXPECT_FALSE(launcher_settings.objectShadows);
    click(CMD_QUIT);
    EXPECT_TRUE(launcher_quit_requested());
    int v = -1;
    ASSERT_TRUE(get_config_int("land_shadows", v));
    EXPECT_EQ(v, 1);
    ASSERT_TRUE(get_config_int("flags", v));
    EXPECT_EQ(v, 4);
    char q[16];
    ASSERT_TRUE(get_config_str("gfx_quality", q, sizeof(q)));
    EXPECT_STREQ(q, "low");
    click(CMD_QUALITY_0 + 1);
    EXPECT_TRUE(row_shown(CMD_LAND_SHADOWS_0));
}

TEST_F(LauncherFixture, OptionsRoundTripThroughTheStoreToTheGame) {
    start();
    click(CMD_FULLSCREEN);
    click(CMD_ANTI_ALIASING);
    click(CMD_VSYNC);
    click(CMD_LAND_SHADOWS_0);
    click(CMD_OBJECT_SHADOWS);
    EXPECT_EQ(normal_fill(CMD_FULLSCREEN), 0xFFAA4411u);
    EXPECT_EQ(normal_fill(CMD_VSYNC), 0xFF000000u);
    EXPECT_TRUE(settings_text().empty()); // nothing is stored before Start or Quit
    click(CMD_QUIT);
    EXPECT_TRUE(launcher_quit_requested());
    EXPECT_EQ(launcher_exit_code(), 0);
    int flags = -1;
    ASSERT_TRUE(get_config_int("flags", flags));
    EXPECT_EQ(flags, 1 | 2);

    char* no_args[] = {const_cast<char*>("game"), nullptr};
    read_startup_settings(1, no_args);
    EXPECT_TRUE(is_fullscreen_requested());
    EXPECT_TRUE(use_ppaa);
    EXPECT_FALSE(app_use_vsync);
    EXPECT_FALSE(use_obj_shadows);
    EXPECT_EQ(land_shadow_quality, 0);
    EXPECT_EQ(gfx_quality, 1);

    // And back: the launcher shows what the store holds.
    close_launcher();
    launcher_settings = LauncherSettings();
    start();
    EXPECT_TRUE(launcher_settings.fullscreen);
    EXPECT_EQ(launcher_settings.landShadows, 0);
    EXPECT_EQ(normal_fill(CMD_LAND_SHADOWS_0), 0xFFAA4411u);
}

TEST_F(LauncherFixture, StartRunsTheGameWithoutSwitchesAndQuits) {
    std::string out = tmp + "/args";
    std::string game = write_script(
        tmp, "game", ("echo \"$0 $#\" > " + out + ".tmp && mv " + out + ".tmp " + out).c_str());
    setenv("VELTMOOR_GAME_PATH", game.c_str(), 1);
    start();
    click(CMD_START);
    EXPECT_TRUE(launcher_quit_requested());
    EXPECT_EQ(launcher_exit_code(), 0);
    EXPECT_EQ(wait_for_file(out), game + " 0\n");
    EXPECT_NE(settings_text().find("gfx_quality"), std::string::npos);
}

TEST_F(LauncherFixture, FailedStartIsReportedAndStillCloses) {
    setenv("VELTMOOR_GAME_PATH", (tmp + "/no-such-game").c_str(), 1);
    start();
    ::testing::internal::CaptureStdout();
    click(CMD_START);
    std::string log = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("ERROR: Could not start the game."), std::string::npos) << log;
    EXPECT_NE(log.find("no-such-game"), std::string::npos) << log;
    EXPECT_TRUE(launcher_quit_requested());
    EXPECT_EQ(launcher_exit_code(), 0);
    EXPECT_NE(settings_text().find("flags"), std::string::npos);
}

TEST_F(LauncherFixture, VisitSiteOpensTheAddressAndChangesNothingElse) {
    std::string out = tmp + "/url";
    std::string opener = write_script(
        tmp, "opener", ("echo \"$1\" > " + out + ".tmp && mv " + out + ".tmp " + out).c_str());
    setenv("VELTMOOR_URL_OPENER", opener.c_str(), 1);
    start();
    click(CMD_VISIT_SITE);
    EXPECT_EQ(wait_for_file(out), std::string(launcher_site_url()) + "\n");
    EXPECT_FALSE(launcher_quit_requested());
    EXPECT_TRUE(settings_text().empty());
    // A missing opener is only logged.
    setenv("VELTMOOR_URL_OPENER", (tmp + "/none").c_str(), 1);
    ::testing::internal::CaptureStdout();
    click(CMD_VISIT_SITE);
    std::string log = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("can't open"), std::string::npos) << log;
    EXPECT_FALSE(launcher_quit_requested());
}

TEST_F(LauncherFixture, UnwritableSettingsAreLogged) {
    // A file where the settings folder should be makes every write fail.
    std::string blocker = tmp + "/blocker";
    std::ofstream(blocker) << "x";
    setenv("VELTMOOR_CONFIG_DIR", (blocker + "/sub").c_str(), 1);
    start();
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(write_launcher_settings());
    std::string log = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("can't write the settings"), std::string::npos) << log;
}
