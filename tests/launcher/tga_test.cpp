#include "launcher/tga.h"
#include "test_support.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <vector>

namespace {
std::vector<uint8_t> tga_bytes(int type, int bpp, int w, int h, int id_len, uint8_t descriptor,
                               const std::vector<uint32_t>& file_order_pixels) {
    std::vector<uint8_t> d(18, 0);
    d[0] = uint8_t(id_len);
    d[2] = uint8_t(type);
    d[12] = uint8_t(w);
    d[13] = uint8_t(w >> 8);
    d[14] = uint8_t(h);
    d[15] = uint8_t(h >> 8);
    d[16] = uint8_t(bpp);
    d[17] = descriptor;
    for (int i = 0; i < id_len; ++i) d.push_back('I');
    for (uint32_t p : file_order_pixels) {
        d.push_back(uint8_t(p));
        d.push_back(uint8_t(p >> 8));
        d.push_back(uint8_t(p >> 16));
        d.push_back(uint8_t(p >> 24));
    }
    return d;
}

bool decode(const std::vector<uint8_t>& d, TgaImage& img, char* err) {
    return decode_tga(d.data(), long(d.size()), "t.tga", img, err, 256);
}
} // namespace

TEST(Tga, KeepsRowsBottomUpWhateverTheOrigin) {
    const std::vector<uint32_t> file = {0x11223344, 0x55667788, 0x99AABBCC, 0xDDEEFF00};
    TgaImage img;
    char err[256];
    // Bottom-left origin: the file's first row is the bottom row, kept first in memory.
    ASSERT_TRUE(decode(tga_bytes(2, 32, 2, 2, 0, 8, file), img, err)) << err;
    EXPECT_EQ(img.width, 2);
    EXPECT_EQ(img.height, 2);
    EXPECT_EQ(img.pixels[0], 0x11223344u);
    EXPECT_EQ(img.pixels[3], 0xDDEEFF00u);
    // Top-left origin: the first file row is the top, so it lands last in memory.
    ASSERT_TRUE(decode(tga_bytes(2, 32, 2, 2, 0, 8 | 0x20, file), img, err)) << err;
    EXPECT_EQ(img.pixels[0], 0x99AABBCCu);
    EXPECT_EQ(img.pixels[2], 0x11223344u);
    // An identification field sits between the header and the pixels.
    ASSERT_TRUE(decode(tga_bytes(2, 32, 2, 2, 5, 8, file), img, err)) << err;
    EXPECT_EQ(img.pixels[0], 0x11223344u);
    EXPECT_EQ(img.pixels[3], 0xDDEEFF00u);
}

TEST(Tga, RejectsWhatItCannotReadAndKeepsThePreviousImage) {
    TgaImage img;
    char err[256];
    ASSERT_TRUE(decode(tga_bytes(2, 32, 1, 1, 0, 8, {0xFF000000}), img, err));
    struct Case {
        std::vector<uint8_t> data;
        const char* message;
    } cases[] = {
        {{1, 2, 3}, "truncated TGA header"},
        {tga_bytes(10, 32, 1, 1, 0, 8, {0}), "unsupported TGA format"},
        {tga_bytes(2, 24, 1, 1, 0, 8, {0}), "unsupported TGA format"},
        {tga_bytes(2, 32, 0, 4, 0, 8, {}), "zero-sized TGA image"},
        {tga_bytes(2, 32, 4, 0, 0, 8, {}), "zero-sized TGA image"},
        {tga_bytes(2, 32, 2, 2, 0, 8, {1, 2, 3}), "TGA pixel data cut short"},
        // 65535 x 65535 claimed by a tiny file: refused before any allocation.
        {tga_bytes(2, 32, 65535, 65535, 0, 8, {1}), "TGA pixel data cut short"},
        {tga_bytes(2, 32, 1, 1, 255, 8, {}), "TGA pixel data cut short"},
    };
    for (const Case& c : cases) {
        err[0] = 0;
        EXPECT_FALSE(decode(c.data, img, err));
        EXPECT_NE(strstr(err, c.message), nullptr) << err;
        EXPECT_NE(strstr(err, "t.tga"), nullptr) << err;
        ASSERT_EQ(img.width, 1);
        EXPECT_EQ(img.pixels[0], 0xFF000000u);
    }
}

TEST(Tga, SurvivesEveryTruncationAndHeaderCorruption) {
    std::vector<uint32_t> px(16, 0x80FFFFFF);
    std::vector<uint8_t> good = tga_bytes(2, 32, 4, 4, 3, 8, px);
    TgaImage img;
    char err[256];
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(decode_tga(good.data(), long(n), "t", img, err, sizeof(err))) << n;
    for (int byte = 0; byte < 18; ++byte) {
        for (int v : {0, 1, 0x7F, 0x80, 0xFF}) {
            std::vector<uint8_t> d = good;
            d[size_t(byte)] = uint8_t(v);
            if (decode(d, img, err)) {
                EXPECT_GT(img.width, 0);
                EXPECT_GT(img.height, 0);
            }
        }
    }
}

TEST(Tga, LoadsTheWrittenFileAndReportsMissingFiles) {
    std::string dir = make_temp_dir("tga");
    // The writer takes top-down rows; the reader hands back bottom-up rows.
    write_test_tga(dir + "/a.tga", {0xFF0000FF, 0x00FF0000}, 1, 2);
    TgaImage img;
    char err[256];
    ASSERT_TRUE(load_tga((dir + "/a.tga").c_str(), img, err, sizeof(err))) << err;
    EXPECT_EQ(img.pixels[0], 0x00FF0000u);
    EXPECT_EQ(img.pixels[1], 0xFF0000FFu);
    EXPECT_FALSE(load_tga((dir + "/missing.tga").c_str(), img, err, sizeof(err)));
    EXPECT_NE(strstr(err, "can't open file"), nullptr) << err;
    EXPECT_EQ(img.width, 1);
}
