#include "platform/file_stream.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
fs::path temp_file(const char* name) {
    return fs::temp_directory_path() / (std::string("veltmoor-") + std::to_string(getpid()) + name);
}

template <typename F>
StreamException catch_stream(F f) {
    try {
        f();
    } catch (const StreamException& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    return StreamException("", 0);
}
} // namespace

TEST(FileStream, WriteReadSeekRoundTrip) {
    fs::path p = temp_file("rt.bin");
    {
        FileOutputStream out(p.c_str());
        ASSERT_TRUE(out.isOpen());
        out.write("abcdefgh", 8);
        EXPECT_EQ(out.tell(), 8);
        out.seek(2);
        out.write("XY", 2);
    }
    FileInputStream in(p.c_str());
    char buf[8];
    in.read(buf, 8);
    EXPECT_EQ(memcmp(buf, "abXYefgh", 8), 0);
    in.seekEnd(-3);
    in.read(buf, 1);
    EXPECT_EQ(buf[0], 'f');
    in.seekCur(-3);
    in.read(buf, 1);
    EXPECT_EQ(buf[0], 'Y');
    in.read(buf, 0);
    fs::remove(p);
}

TEST(FileStream, OnlyRegularFilesOpenForReading) {
    FileInputStream in;
    EXPECT_FALSE(in.open(fs::temp_directory_path().c_str()));
    EXPECT_EQ(open_regular_file(fs::temp_directory_path().c_str()), nullptr);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(open_regular_file("/dev/null"), nullptr);
}

TEST(FileStream, ErrorsCarryTheirTextsAndCodes) {
    fs::path p = temp_file("err.bin");
    {
        FileOutputStream out(p.c_str());
        out.write("12345", 5);
        StreamException e = catch_stream([&] { out.write("x", -1); });
        EXPECT_STREQ(e.message, "negative size in write()");
        EXPECT_EQ(e.code, -1);
    }
    FileInputStream in(p.c_str());
    char buf[16];
    in.read(buf, 3);
    StreamException e = catch_stream([&] { in.read(buf, 10); });
    EXPECT_STREQ(e.message, "error reading file");
    EXPECT_EQ(e.code, 5); // the position where reading stopped
    e = catch_stream([&] { in.read(buf, -2); });
    EXPECT_STREQ(e.message, "negative size in read()");
    EXPECT_EQ(e.code, -1);
    e = catch_stream([&] { in.seek(-10); });
    EXPECT_STREQ(e.message, "file seek error");

    in.close();
    for (auto op : {0, 1, 2}) {
        e = catch_stream([&] {
            if (op == 0) in.read(buf, 1);
            if (op == 1) in.tell();
            if (op == 2) in.seek(0);
        });
        EXPECT_STREQ(e.message, "file not opened");
        EXPECT_EQ(e.code, -1);
    }
    FileInputStream missing("/nonexistent/veltmoor/file");
    EXPECT_FALSE(missing.isOpen());
    e = catch_stream([&] { missing.read(buf, 1); });
    EXPECT_STREQ(e.message, "file not opened");
    FileOutputStream closed;
    e = catch_stream([&] { closed.write(buf, 1); });
    EXPECT_STREQ(e.message, "file not opened");
    fs::remove(p);
}

TEST(FileStream, LongMessagesAreCut) {
    std::string longmsg(2000, 'm');
    StreamException e(longmsg.c_str(), 3);
    EXPECT_EQ(strlen(e.message), 511u);
}

TEST(Paths, MakeFullPath) {
    snprintf(app_path, sizeof(app_path), "/games/v/");
    EXPECT_STREQ(make_full_path("shaders/x.sh"), "/games/v/shaders/x.sh");
    EXPECT_STREQ(make_full_path("shaders\\sub\\x.sh"), "/games/v/shaders/sub/x.sh");
    EXPECT_STREQ(make_full_path("/abs/x"), "/abs/x");
    EXPECT_STREQ(make_full_path("../up/./x"), "/games/up/x");
    EXPECT_STREQ(make_full_path("../../../../x"), "/x");
    EXPECT_STREQ(make_full_path(nullptr), "/games/v/");
    EXPECT_STREQ(make_full_path("dir/"), "/games/v/dir/");
    std::string huge(400, 'a');
    TempString<260> r = make_full_path(huge.c_str());
    EXPECT_LT(r.length(), 260);
}

TEST(Paths, ExePathAndCuts) {
    char buf[260];
    ASSERT_TRUE(get_exe_filename(buf, sizeof(buf)));
    EXPECT_EQ(buf[0], '/');
    char dir[260];
    ASSERT_TRUE(get_exe_path(dir, sizeof(dir)));
    EXPECT_EQ(dir[strlen(dir) - 1], '/');
    EXPECT_EQ(strncmp(buf, dir, strlen(dir)), 0);
    char tiny[4];
    EXPECT_FALSE(get_exe_filename(tiny, sizeof(tiny)));
    char bare[] = "game";
    cut_after_last_separator(bare);
    EXPECT_STREQ(bare, "");
    char win[] = "C:\\x\\y.exe";
    cut_after_last_separator(win);
    EXPECT_STREQ(win, "C:\\x\\");
}

TEST(Paths, FileTime) {
    EXPECT_EQ(get_file_time("/nonexistent/veltmoor"), 0);
    EXPECT_EQ(get_file_time(nullptr), 0);
    fs::path p = temp_file("time");
    FileOutputStream(p.c_str()).write("x", 1);
    EXPECT_GT(get_file_time(p.c_str()), 1600000000);
    fs::remove(p);
}

TEST(Paths, InstalledGameReadsShareAndWritesUnderXdg) {
    fs::path root = temp_file("-folders");
    fs::remove_all(root);
    fs::create_directories(root / "prefix/bin");
    fs::create_directories(root / "prefix/share/veltmoor");
    fs::create_directories(root / "prefix/lib/veltmoor");
    fs::create_directories(root / "tree");
    std::ofstream(root / "prefix/share/veltmoor/font.tga") << "x";
    std::ofstream(root / "tree/font.tga") << "x";
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    char saved[260];
    snprintf(saved, sizeof(saved), "%s", app_path);

    std::string bin = (root / "prefix/bin").string() + "/";
    ASSERT_TRUE(locate_app_folders_from(bin.c_str()));
    EXPECT_TRUE(app_folders.installed);
    EXPECT_EQ(std::string(app_path), (root / "prefix/share/veltmoor").string() + "/");
    EXPECT_EQ(std::string(app_folders.exe), bin);
    EXPECT_EQ(std::string(app_folders.module), (root / "prefix/lib/veltmoor").string() + "/");
    EXPECT_EQ(std::string(cache_file_path("cache/x.cache")),
              (root / "cache/veltmoor/cache/x.cache").string());
    EXPECT_EQ(std::string(user_file_path("shots/a.png")),
              (root / "data/veltmoor/shots/a.png").string());
    EXPECT_TRUE(fs::is_directory(root / "cache/veltmoor/cache"));
    EXPECT_TRUE(fs::is_directory(root / "data/veltmoor/shots"));

    // A build tree keeps everything next to the executable, even with a share folder above.
    std::string tree = (root / "tree").string() + "/";
    ASSERT_TRUE(locate_app_folders_from(tree.c_str()));
    EXPECT_FALSE(app_folders.installed);
    EXPECT_EQ(std::string(app_path), tree);
    EXPECT_EQ(std::string(cache_file_path("cache/x.cache")), tree + "cache/x.cache");
    EXPECT_EQ(std::string(user_file_path("shots/a.png")), tree + "shots/a.png");
    EXPECT_FALSE(locate_app_folders_from(""));

    unsetenv("XDG_CACHE_HOME");
    unsetenv("XDG_DATA_HOME");
    locate_app_folders_from(saved);
    fs::remove_all(root);
}
