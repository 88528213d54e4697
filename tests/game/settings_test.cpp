#include "game/settings.h"
#include "platform/config.h"
#include "platform/input.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
class StartupSettingsTest : public ::testing::Test {
  protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("veltmoor-settings-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        setenv("VELTMOOR_CONFIG_DIR", dir.c_str(), 1);
        // Values at program load.
        gfx_quality = 1;
        land_shadow_quality = 2;
        use_ppaa = true;
        use_obj_shadows = true;
        app_use_vsync = false;
        automation = AutomationOptions();
    }
    void TearDown() override { fs::remove_all(dir); }

    void run(std::vector<const char*> args) {
        args.insert(args.begin(), "game");
        read_startup_settings(int(args.size()), const_cast<char**>(args.data()));
    }
    static int width() {
        int w, h;
        get_requested_window_size(&w, &h);
        return w;
    }
    static int height() {
        int w, h;
        get_requested_window_size(&w, &h);
        return h;
    }
};
} // namespace

TEST_F(StartupSettingsTest, NothingStoredGivesTheDefaults) {
    run({});
    EXPECT_FALSE(is_fullscreen_requested());
    EXPECT_EQ(width(), 0);
    EXPECT_EQ(height(), 0);
    EXPECT_EQ(gfx_quality, 1);
    EXPECT_TRUE(app_use_vsync);
    EXPECT_FALSE(use_ppaa);
    EXPECT_TRUE(use_obj_shadows);
    EXPECT_EQ(land_shadow_quality, 2);
}

TEST_F(StartupSettingsTest, StoredFlagsWithOverridingSwitches) {
    ASSERT_TRUE(set_config_int("flags", 13)); // fullscreen, vsync, object shadows
    run({"-win", "-noaa"});
    EXPECT_FALSE(is_fullscreen_requested());
    EXPECT_TRUE(app_use_vsync);
    EXPECT_TRUE(use_obj_shadows);
    EXPECT_FALSE(use_ppaa);

    ASSERT_TRUE(set_config_int("flags", 2)); // only anti-aliasing
    run({});
    EXPECT_TRUE(use_ppaa);
    EXPECT_FALSE(app_use_vsync);
    EXPECT_FALSE(use_obj_shadows);
    EXPECT_FALSE(is_fullscreen_requested());
}

TEST_F(StartupSettingsTest, LaterSwitchWins) {
    run({"-360", "-720"});
    EXPECT_EQ(width(), 1280);
    EXPECT_EQ(height(), 720);
    run({"-720", "-360", "-fullscr", "-novs", "-vs", "-aa"});
    EXPECT_EQ(width(), 640);
    EXPECT_EQ(height(), 360);
    EXPECT_TRUE(is_fullscreen_requested());
    EXPECT_TRUE(app_use_vsync);
    EXPECT_TRUE(use_ppaa);
}

TEST_F(StartupSettingsTest, QualityNameIgnoresCaseAndSwitchOverrides) {
    ASSERT_TRUE(set_config_str("gfx_quality", "HIGH", -1));
    gfx_quality = 0;
    run({});
    EXPECT_EQ(gfx_quality, 1);
    run({"-gfx-low"});
    EXPECT_EQ(gfx_quality, 0);
    ASSERT_TRUE(set_config_str("gfx_quality", "ultra", -1));
    gfx_quality = 1;
    run({});
    EXPECT_EQ(gfx_quality, 1); // unknown name keeps the default
    ASSERT_TRUE(set_config_str("gfx_quality", "Low", -1));
    run({});
    EXPECT_EQ(gfx_quality, 0);
}

TEST_F(StartupSettingsTest, SwitchesAreExactAndUnknownOnesIgnored) {
    run({"-AA", "-720x", "720", "-gfx-LOW", "--bogus", "--frames=abc", "--seed=-1"});
    EXPECT_FALSE(use_ppaa);
    EXPECT_EQ(width(), 0);
    EXPECT_EQ(gfx_quality, 1);
    EXPECT_EQ(automation.quit_after_frames, 0);
    EXPECT_FALSE(automation.fixed_seed);
    run({"--frames=60", "--seed=18446744073709551615", "--stats", "--shot=/tmp/x.png"});
    EXPECT_STREQ(automation.shot_path, "/tmp/x.png");
    EXPECT_EQ(automation.quit_after_frames, 60);
    EXPECT_TRUE(automation.fixed_seed);
    EXPECT_EQ(automation.seed, 18446744073709551615ull);
    EXPECT_TRUE(automation.print_stats);
    run({"--fx=portal_fx/4"});
    EXPECT_STREQ(automation.fx_name, "portal_fx");
    EXPECT_EQ(automation.fx_every, 4);
    run({"--fx=fireball_fx/0"}); // a step count of 0 keeps the default
    EXPECT_STREQ(automation.fx_name, "fireball_fx");
    EXPECT_EQ(automation.fx_every, 30);
}

TEST_F(StartupSettingsTest, OutOfRangeLandShadowsAreIgnored) {
    ASSERT_TRUE(set_config_int("land_shadows", 1));
    run({});
    EXPECT_EQ(land_shadow_quality, 1);
    ASSERT_TRUE(set_config_int("land_shadows", 7));
    run({});
    EXPECT_EQ(land_shadow_quality, 1);
    ASSERT_TRUE(set_config_int("land_shadows", -1));
    run({});
    EXPECT_EQ(land_shadow_quality, 1);
}

TEST_F(StartupSettingsTest, CorruptFileNeverStopsStartUp) {
    fs::create_directories(dir);
    FILE* f = fopen((dir / "settings").c_str(), "wb");
    const char junk[] = "flags int 9\n\xff\xfe\x00garbage\nflags str \"x";
    fwrite(junk, 1, sizeof(junk) - 1, f);
    fclose(f);
    run({});
    EXPECT_TRUE(is_fullscreen_requested());
    EXPECT_TRUE(use_obj_shadows);
}

TEST_F(StartupSettingsTest, SavedOptionsComeBackAtTheNextStart) {
    isFullscreen = true;
    use_ppaa = true;
    app_use_vsync = false;
    use_obj_shadows = false;
    use_postfx = false;
    land_shadow_quality = 1;
    ASSERT_TRUE(save_game_settings(0));
    int flags = 0;
    ASSERT_TRUE(get_config_int("flags", flags));
    EXPECT_EQ(flags, 3); // launchpad's bits: fullscreen, anti-aliasing
    isFullscreen = false;
    use_ppaa = app_use_vsync = use_obj_shadows = use_postfx = true;
    land_shadow_quality = 2;
    run({});
    EXPECT_TRUE(is_fullscreen_requested());
    EXPECT_TRUE(use_ppaa);
    EXPECT_FALSE(app_use_vsync);
    EXPECT_FALSE(use_obj_shadows);
    EXPECT_FALSE(use_postfx);
    EXPECT_EQ(land_shadow_quality, 1);
    EXPECT_EQ(gfx_quality, 0);
    use_postfx = true;
}
