#include "test_support.h"

#include "tools/fontgen/tga_writer.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

// Tests never show dialogs and need no display, however they are started.
static const bool quiet_environment = [] {
    setenv("VELTMOOR_NO_DIALOGS", "1", 0);
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    return true;
}();

namespace {
std::vector<std::string> temp_dirs;

// Removes the test's folders once all tests ran (in the test process only: a death
// test's child must not remove what its parent still uses).
class TempDirCleanup : public ::testing::Environment {
  public:
    void TearDown() override {
        std::error_code ec;
        for (const std::string& d : temp_dirs) std::filesystem::remove_all(d, ec);
        temp_dirs.clear();
    }
};

const bool cleanup_registered = [] {
    ::testing::AddGlobalTestEnvironment(new TempDirCleanup);
    return true;
}();
} // namespace

std::string make_temp_dir(const char* tag) {
    std::string templ =
        (std::filesystem::temp_directory_path() / ("launcher_" + std::string(tag) + "_XXXXXX"))
            .string();
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back(0);
    const char* dir = mkdtemp(buf.data());
    EXPECT_NE(dir, nullptr);
    if (!dir) return "/tmp";
    temp_dirs.push_back(dir);
    return dir;
}

void write_test_tga(const std::string& path, const std::vector<uint32_t>& pixels, int width,
                    int height) {
    ASSERT_TRUE(write_tga(path.c_str(), pixels.data(), width, height));
}

TestFontImage::TestFontImage(int cell_size)
    : cell(cell_size), pixels(size_t(cell_size * 16) * size_t(cell_size * 16), 0) {}

void TestFontImage::setInk(int ch, int x0, int x1, uint32_t texel) {
    int w = cell * 16;
    int left = (ch % 16) * cell, top = (ch / 16) * cell;
    for (int y = top; y < top + cell; ++y)
        for (int x = left + x0; x < left + x1; ++x)
            pixels[size_t(y) * size_t(w) + size_t(x)] = texel;
}

std::string TestFontImage::save(const std::string& dir, const char* name) const {
    std::string path = dir + "/" + name;
    write_test_tga(path, pixels, cell * 16, cell * 16);
    return path;
}

std::string app_font_path() {
    const char* dir = getenv("VELTMOOR_APP_DIR");
    return std::string(dir && *dir ? dir : TEST_APP_DIR) + "/font.tga";
}

std::string write_frame_png(const char* name, const uint32_t* pixels, int width, int height) {
    const char* out = getenv("VELTMOOR_TEST_OUT");
    std::string dir = out && *out ? out : TEST_OUT_DIR;
    std::filesystem::create_directories(dir);
    std::vector<unsigned char> rgba(size_t(width) * size_t(height) * 4);
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
        uint32_t p = pixels[i];
        rgba[i * 4 + 0] = uint8_t(p >> 16);
        rgba[i * 4 + 1] = uint8_t(p >> 8);
        rgba[i * 4 + 2] = uint8_t(p);
        rgba[i * 4 + 3] = 255;
    }
    std::string path = dir + "/" + name;
    EXPECT_NE(stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4), 0);
    return path;
}
