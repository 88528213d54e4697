// The module host against stand-in modules: binding, rebinding live objects on a swap,
// refusing modules that would corrupt them, the rebuild's output and source tracking.
#include "actors/actor_module.h"
#include "platform/paths.h"
#include "platform/timer.h"
#include "render/error_text.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {
fs::path module_variant(const char* name) {
    return fs::path(VELTMOOR_TEST_MODULE_DIR) / (std::string(name) + ".so");
}

void write_file(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
}

class ModuleHostTest : public ::testing::Test {
  protected:
    fs::path dir;

    void SetUp() override {
        init_timer();
        dir = fs::path(getenv("VELTMOOR_TEST_OUT")) /
              ("module_host_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        snprintf(app_path, sizeof(app_path), "%s/", dir.c_str());
        fs::copy_file(module_variant("test_actor_v1"), dir / "actor.so");
        set_error_message(nullptr);
    }
    void TearDown() override {
        actor_module.close_actor();
        unload_game_module();
        set_error_message(nullptr);
        fs::remove_all(dir);
    }
    void offer(const char* variant) {
        fs::copy_file(module_variant(variant), dir / "actor_new.so",
                      fs::copy_options::overwrite_existing);
    }
    static std::string class_of(int list, int i) { return (*actor_lists[list])[i]->className(); }
    // Runs the once-per-second check until the rebuild is over (at most 20 s).
    static void finish_rebuild() {
        check_game_module();
        for (int i = 0; i < 200 && is_game_module_rebuilding(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            check_game_module();
        }
        ASSERT_FALSE(is_game_module_rebuilding());
    }
};
} // namespace

TEST(ModuleErrorLines, ErrorsAsAWordInAnyCase) {
    EXPECT_TRUE(is_error_line("main.ls:3:1: error: expected ';'"));
    EXPECT_TRUE(is_error_line("0 errors"));
    EXPECT_TRUE(is_error_line("ERROR"));
    EXPECT_TRUE(is_error_line("build (Error)."));
    EXPECT_FALSE(is_error_line("no terror here"));
    EXPECT_FALSE(is_error_line("error_count = 0"));
    EXPECT_FALSE(is_error_line("errorless"));
    EXPECT_FALSE(is_error_line("-Werror is on"));
    EXPECT_TRUE(is_error_line("terror, then error"));
    EXPECT_FALSE(is_error_line(""));
}

TEST_F(ModuleHostTest, SwapRebindsEveryListedObjectOnce) {
    load_game_module(nullptr, nullptr);
    ASSERT_TRUE(is_actor_module_bound());
    actor_module.init_actor();
    ASSERT_EQ(Player_list.num, 2);
    EXPECT_EQ(class_of(1, 1), "v1:Class2");
    BaseObject* gone = Fireball_list[1];
    ASSERT_TRUE(gone->isDestroyed());

    offer("test_actor_v2");
    check_game_module();
    EXPECT_FALSE(fs::exists(dir / "actor_new.so"));
    for (int l = 0; l < ACTOR_LIST_COUNT; ++l)
        for (int i = 0; i < actor_lists[l]->num; ++i) {
            EXPECT_EQ(class_of(l, i).substr(0, 3), "v2:") << "list " << l << " item " << i;
            EXPECT_FALSE((*actor_lists[l])[i]->flags & OBJ_REBOUND);
        }
    EXPECT_EQ(class_of(0, 0), "v2:Class1");
    EXPECT_EQ(std::string(gone->className()), "v2:Class7"); // destroyed, still rebound
    EXPECT_FALSE(has_error_message());
}

TEST_F(ModuleHostTest, ModulesThatWouldCorruptObjectsAreRefused) {
    load_game_module(nullptr, nullptr);
    actor_module.init_actor();
    const std::pair<const char*, const char*> cases[] = {
        {"test_actor_grown", "actor_new.so refused: class 2 (TestObject) changed from 24 to 32"},
        {"test_actor_layout", "actor_new.so refused: layout version 999, the game's is 1"},
    };
    for (const auto& [variant, why] : cases) {
        offer(variant);
        check_game_module();
        EXPECT_FALSE(fs::exists(dir / "actor_new.so")) << variant; // not retried each second
        EXPECT_NE(std::string(get_error_message()).find(why), std::string::npos)
            << get_error_message();
        EXPECT_EQ(class_of(1, 0), "v1:Class2") << "the old module stays bound";
        set_error_message(nullptr);
    }
    // A class without live objects may change: nothing of it can be corrupted.
    offer("test_actor_grown_idle");
    check_game_module();
    EXPECT_EQ(class_of(1, 0), "v6:Class2");
    EXPECT_FALSE(has_error_message());
}

TEST_F(ModuleHostTest, ChangedClassCountStopsTheGame) {
    load_game_module(nullptr, nullptr);
    offer("test_actor_50");
    EXPECT_EXIT(check_game_module(), ::testing::ExitedWithCode(100),
                "actor classes changed, need restart");
}

TEST_F(ModuleHostTest, MismatchAtStartIsFatal) {
    fs::copy_file(module_variant("test_actor_layout"), dir / "actor.so",
                  fs::copy_options::overwrite_existing);
    EXPECT_EXIT(load_game_module(nullptr, nullptr), ::testing::ExitedWithCode(100),
                "actor.so does not match this game: layout version");
    fs::remove(dir / "actor.so");
    EXPECT_EXIT(load_game_module(nullptr, nullptr), ::testing::ExitedWithCode(100),
                "can't load actor.so");
}

TEST_F(ModuleHostTest, TracksImportsOnceAcrossCyclesAndLetterCase) {
    write_file(dir / "src/main.ls", "import lib.util\nimport\tnot.an.import\nimport LIB.UTIL\n"
                                    "  import indented.ignored\nimport   gone.missing\n");
    write_file(dir / "src/lib/util.ls", "import main\r\nimport lib.deep.leaf\n");
    write_file(dir / "src/LIB/UTIL.ls", "");
    write_file(dir / "src/lib/deep/leaf.ls", "import lib.util\n");
    load_game_module("src/", "main.ls");
    ASSERT_EQ(tracked_module_source_count(), 3);
    EXPECT_EQ(std::string(tracked_module_source(0)), (dir / "src/main.ls").string());
    EXPECT_EQ(std::string(tracked_module_source(1)), (dir / "src/lib/util.ls").string());
    EXPECT_EQ(std::string(tracked_module_source(2)), (dir / "src/lib/deep/leaf.ls").string());

    // An installed game has no sources: nothing is tracked and nothing rebuilds.
    load_game_module("no_such_folder/", "main.ls");
    EXPECT_EQ(tracked_module_source_count(), 0);
    check_game_module();
    EXPECT_FALSE(is_game_module_rebuilding());
}

TEST_F(ModuleHostTest, RebuildOutputReachesTheScreenAndANewModuleIsSwappedIn) {
    write_file(dir / "src/main.ls", "// v1\n");
    std::string script = "#!/bin/sh\n"
                         "echo 'main.ls:1:1: error: broken'\n"
                         "echo '0 errors'\n"
                         "echo 'no terror, error_count=1'\n";
    write_file(dir / "src/rebuild_dll.sh", script);
    load_game_module("src/", "main.ls");
    actor_module.init_actor();

    // A file time one second on counts as a change.
    auto bump = [&] {
        auto t = fs::last_write_time(dir / "src/main.ls");
        fs::last_write_time(dir / "src/main.ls", t + std::chrono::seconds(1));
    };
    bump();
    finish_rebuild();
    std::string shown = get_error_message();
    EXPECT_NE(shown.find("main.ls:1:1: error: broken\n"), std::string::npos);
    EXPECT_NE(shown.find("0 errors\n"), std::string::npos);
    EXPECT_EQ(shown.find("terror"), std::string::npos);
    EXPECT_NE(shown.find("actor rebuild failed!!!"), std::string::npos);
    EXPECT_EQ(class_of(1, 0), "v1:Class2");

    // A clean build that leaves actor_new.so in the game folder ($1) is swapped in.
    write_file(dir / "src/rebuild_dll.sh", "#!/bin/sh\necho building\ncp '" +
                                               module_variant("test_actor_v2").string() +
                                               "' \"$1/actor_new.so\"\n");
    bump();
    finish_rebuild();
    EXPECT_FALSE(has_error_message());
    EXPECT_EQ(class_of(1, 0), "v2:Class2");
    EXPECT_FALSE(fs::exists(dir / "actor_new.so"));
}
