#include "game/screenshot.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace fs = std::filesystem;

TEST(Screenshot, PureRedIsSavedRedAndOpaque) {
    // 3 x 2 pixels of ARGB red with alpha 0 and two bytes of row padding.
    const int w = 3, h = 2, pitch = w * 4 + 2;
    std::vector<unsigned char> px(size_t(pitch) * h, 0xEE);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t argb = 0x00FF0000;
            memcpy(&px[size_t(y) * pitch + x * 4], &argb, 4);
        }
    fs::path p = fs::temp_directory_path() / ("veltmoor-shot-" + std::to_string(getpid()) + ".png");
    ASSERT_TRUE(write_screenshot_png(p.c_str(), px.data(), w, h, pitch));
    int rw, rh, n;
    unsigned char* img = stbi_load(p.c_str(), &rw, &rh, &n, 4);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    for (int i = 0; i < w * h; ++i) {
        EXPECT_EQ(img[i * 4 + 0], 255);
        EXPECT_EQ(img[i * 4 + 1], 0);
        EXPECT_EQ(img[i * 4 + 2], 0);
        EXPECT_EQ(img[i * 4 + 3], 255);
    }
    stbi_image_free(img);
    fs::remove(p);
}

TEST(Screenshot, MissingFolderFailsAndNameHasTheDateShape) {
    std::vector<unsigned char> px(16, 0);
    EXPECT_FALSE(write_screenshot_png("/nonexistent-veltmoor/shots/a.png", px.data(), 2, 2, 8));
    char name[64];
    screenshot_name(name, sizeof(name));
    // shots/shotYYYY_MM_DD_HH_MM_SS.png
    ASSERT_EQ(strlen(name), strlen("shots/shot2026_12_07_22_18_00.png")) << name;
    EXPECT_EQ(strncmp(name, "shots/shot", 10), 0);
    EXPECT_EQ(name[14], '_');
    EXPECT_STREQ(name + strlen(name) - 4, ".png");
}
