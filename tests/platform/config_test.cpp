#include "platform/config.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
// Each case gets its own empty settings folder.
class ConfigTest : public ::testing::Test {
  protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("veltmoor-config-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        setenv("VELTMOOR_CONFIG_DIR", dir.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir); }
    void writeFile(const std::string& text) {
        fs::create_directories(dir);
        std::ofstream(dir / "settings", std::ios::binary) << text;
    }
    std::string readFile() {
        std::ifstream f(dir / "settings", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
};
} // namespace

TEST_F(ConfigTest, MissingFolderIsAnEmptyStoreAndIsCreatedOnWrite) {
    int v = 7;
    char buf[8] = "keep";
    EXPECT_FALSE(get_config_int("flags", v));
    EXPECT_FALSE(get_config_str("gfx_quality", buf, sizeof(buf)));
    EXPECT_EQ(v, 7);
    EXPECT_STREQ(buf, "keep");
    setenv("VELTMOOR_CONFIG_DIR", (dir / "a" / "b").c_str(), 1);
    EXPECT_TRUE(set_config_int("flags", 13));
    EXPECT_TRUE(get_config_int("flags", v));
    EXPECT_EQ(v, 13);
}

TEST_F(ConfigTest, ValuesRoundTripWithTypesAndOverwrite) {
    EXPECT_TRUE(set_config_int("flags", -5));
    EXPECT_TRUE(set_config_str("gfx_quality", "high", -1));
    EXPECT_TRUE(set_config_str("odd",
                               "a\"b\\c\nd\x01"
                               "e",
                               -1));
    EXPECT_TRUE(set_config_int("flags", 2147483647));
    int v = 0;
    char buf[32];
    EXPECT_TRUE(get_config_int("flags", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(get_config_str("gfx_quality", buf, sizeof(buf)));
    EXPECT_STREQ(buf, "high");
    EXPECT_TRUE(get_config_str("odd", buf, sizeof(buf)));
    EXPECT_STREQ(buf, "a\"b\\c\nd\x01"
                      "e");
    // Wrong type answers false and leaves the output alone.
    v = 99;
    EXPECT_FALSE(get_config_int("gfx_quality", v));
    EXPECT_EQ(v, 99);
    strcpy(buf, "x");
    EXPECT_FALSE(get_config_str("flags", buf, sizeof(buf)));
    EXPECT_STREQ(buf, "x");
}

TEST_F(ConfigTest, StringLengthAndBufferLimits) {
    EXPECT_TRUE(set_config_str("gfx_quality", "highway", 4)); // only "high" is stored
    char buf[5] = "zzzz";
    EXPECT_TRUE(get_config_str("gfx_quality", buf, 5));
    EXPECT_STREQ(buf, "high");
    char small[4] = "abc";
    EXPECT_FALSE(get_config_str("gfx_quality", small, 4)); // needs 5 bytes
    EXPECT_STREQ(small, "abc");
    EXPECT_FALSE(get_config_str("gfx_quality", small, 0));
}

TEST_F(ConfigTest, GarbageLinesAreSkippedAndTheRestIsUsed) {
    writeFile("# comment\n"
              "flags int 13\n"
              "garbage without type\n"
              "bad int 12abc\n"
              "huge int 99999999999999\n"
              "unterminated str \"abc\n"
              "bad\\x str \"x\"\n"
              "land_shadows int 1\r\n"
              "gfx_quality str \"HIGH\"   \n"
              "\x01\x02\xff\n");
    int v = 0;
    char buf[16];
    EXPECT_TRUE(get_config_int("flags", v));
    EXPECT_EQ(v, 13);
    EXPECT_TRUE(get_config_int("land_shadows", v));
    EXPECT_EQ(v, 1);
    EXPECT_TRUE(get_config_str("gfx_quality", buf, sizeof(buf)));
    EXPECT_STREQ(buf, "HIGH");
    EXPECT_FALSE(get_config_int("bad", v));
    EXPECT_FALSE(get_config_int("huge", v));
    EXPECT_FALSE(get_config_str("unterminated", buf, sizeof(buf)));
    // A write keeps the good values and drops the garbage.
    EXPECT_TRUE(set_config_int("new", 1));
    EXPECT_TRUE(get_config_int("flags", v));
    EXPECT_EQ(v, 13);
    EXPECT_EQ(readFile().find("garbage"), std::string::npos);
}

TEST_F(ConfigTest, EachBadLineIsLoggedOncePerContent) {
    auto count = [](const std::string& log, const std::string& what) {
        size_t n = 0;
        for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
        return n;
    };
    writeFile("flags int 4\ngarbage\nland_shadows int 1\n");
    int v = 0;
    char buf[8];
    testing::internal::CaptureStdout();
    get_config_int("flags", v);
    get_config_int("land_shadows", v);
    get_config_str("gfx_quality", buf, sizeof(buf));
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(count(log, "ignoring bad line"), 1u) << log;
    EXPECT_EQ(count(log, "bad line 2 of"), 1u) << log;
    // A changed file is news again.
    writeFile("flags int 4\nland_shadows int 1\nmore garbage\n");
    testing::internal::CaptureStdout();
    get_config_int("flags", v);
    get_config_int("flags", v);
    log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(count(log, "bad line 3 of"), 1u) << log;
}

TEST_F(ConfigTest, TruncatedFileKeepsCompleteLines) {
    EXPECT_TRUE(set_config_int("flags", 6));
    EXPECT_TRUE(set_config_str("gfx_quality", "low", -1));
    std::string text = readFile();
    size_t cut = text.find("\"low") + 3; // mid-string
    writeFile(text.substr(0, cut));
    int v = 0;
    char buf[8];
    EXPECT_TRUE(get_config_int("flags", v));
    EXPECT_EQ(v, 6);
    EXPECT_FALSE(get_config_str("gfx_quality", buf, sizeof(buf)));
}

TEST_F(ConfigTest, InvalidNamesAreRefusedAndNothingPartialIsLeft) {
    EXPECT_FALSE(set_config_int("", 1));
    EXPECT_FALSE(set_config_int("has space", 1));
    EXPECT_FALSE(set_config_str("line\nbreak", "x", -1));
    EXPECT_FALSE(set_config_int(nullptr, 1));
    EXPECT_TRUE(set_config_int("ok", 1));
    for (auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename(), "settings") << "left behind: " << e.path();
}

TEST_F(ConfigTest, UnwritableFolderFailsWithoutCrashing) {
    writeFile("");
    fs::path blocker = dir / "file";
    std::ofstream(blocker) << "x";
    setenv("VELTMOOR_CONFIG_DIR", (blocker / "sub").c_str(), 1);
    EXPECT_FALSE(set_config_int("flags", 1));
}
