// Runs the real launchpad program headless and clicks Start through synthetic input.
#include "launcher/launcher.h"
#include "test_support.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace {
std::string read_file(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}
} // namespace

TEST(Launchpad, ClickOnStartStartsTheGameAndStoresTheOptions) {
    // Where Start sits in a 640 x 480 window.
    init_launcher(app_font_path().c_str(), 640, 480);
    GuiElement* start = find_launcher_control(CMD_START);
    ASSERT_NE(start, nullptr);
    int x = int((start->box.left + start->box.right) / 2);
    int y = int((start->box.top + start->box.bottom) / 2);
    close_launcher();

    std::string dir = make_temp_dir("launchpad");
    std::string out = dir + "/args";
    std::string game = dir + "/stand-in game";
    std::ofstream(game) << "#!/bin/sh\necho \"$0 $#\" > \"" << out << ".tmp\" && mv \"" << out
                        << ".tmp\" \"" << out << "\"\n";
    std::filesystem::permissions(game, std::filesystem::perms::owner_all);

    std::string log = dir + "/log";
    std::string cmd = "VELTMOOR_CONFIG_DIR='" + dir + "' VELTMOOR_GAME_PATH='" + game +
                      "' ASAN_OPTIONS=detect_leaks=0 timeout -k 5 60 '" LAUNCHPAD_PATH
                      "' --click=" +
                      std::to_string(x) + "," + std::to_string(y) + " >'" + log + "' 2>&1";
    int status = system(cmd.c_str());
    std::string text = read_file(log);
    ASSERT_TRUE(WIFEXITED(status)) << text;
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    for (const char* line : {"app path: '", "wr: ", "total start-up time: ", "started '",
                             "closing...", "closed all systems"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;

    std::string args;
    for (int i = 0; i < 200 && args.empty(); ++i) {
        args = read_file(out);
        if (args.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    EXPECT_EQ(args, game + " 0\n"); // its own path and no switches

    std::string settings = read_file(dir + "/settings");
    EXPECT_NE(settings.find("flags int 12"), std::string::npos) << settings;
    EXPECT_NE(settings.find("land_shadows int 2"), std::string::npos) << settings;
    EXPECT_NE(settings.find("gfx_quality str \"high\""), std::string::npos) << settings;
}

TEST(Launchpad, MissingFontIsFatalWithoutADialog) {
    // A copy of the program in a folder without font.tga.
    std::string dir = make_temp_dir("nofont");
    std::filesystem::copy_file(LAUNCHPAD_PATH, dir + "/launchpad");
    std::string log = dir + "/log";
    std::string cmd = "VELTMOOR_CONFIG_DIR='" + dir +
                      "' ASAN_OPTIONS=detect_leaks=0 timeout -k 5 60 '" + dir + "/launchpad' >'" +
                      log + "' 2>&1";
    int status = system(cmd.c_str());
    std::string text = read_file(log);
    ASSERT_TRUE(WIFEXITED(status)) << text;
    EXPECT_EQ(WEXITSTATUS(status), 100) << text;
    EXPECT_NE(text.find("can't load font from " + dir + "/font.tga"), std::string::npos) << text;
    EXPECT_NE(text.find("closed all systems"), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(dir + "/settings"));
}

TEST(Launchpad, NoWindowIsAFailure) {
    std::string dir = make_temp_dir("nowindow");
    std::string log = dir + "/log";
    std::string cmd = "VELTMOOR_CONFIG_DIR='" + dir +
                      "' SDL_VIDEODRIVER=no-such-driver ASAN_OPTIONS=detect_leaks=0 "
                      "timeout -k 5 60 '" LAUNCHPAD_PATH "' >'" +
                      log + "' 2>&1";
    int status = system(cmd.c_str());
    std::string text = read_file(log);
    ASSERT_TRUE(WIFEXITED(status)) << text;
    EXPECT_NE(WEXITSTATUS(status), 0) << text;
    EXPECT_FALSE(std::filesystem::exists(dir + "/settings"));
}
