// The generated land textures: deterministic, seamless when tiled, accepted by the loader.
#include "render/dds.h"
#include "tools/texgen/tex_noise.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

TEST(Texgen, NoiseWrapsAtItsPeriod) {
    for (float x = 0.0f; x < 8.0f; x += 0.37f)
        for (float y = 0.0f; y < 8.0f; y += 0.41f) {
            EXPECT_NEAR(periodic_noise(x, y, 8, 3), periodic_noise(x + 8.0f, y - 16.0f, 8, 3),
                        1e-5f);
            float v = periodic_fbm(x / 8, y / 8, 4, 4, 5);
            EXPECT_NEAR(v, periodic_fbm(x / 8 + 1.0f, y / 8, 4, 4, 5), 1e-5f);
            EXPECT_GE(v, 0.0f);
            EXPECT_LE(v, 1.0f);
        }
    EXPECT_NEAR(periodic_cells(0.01f, 0.5f, 24, 7), periodic_cells(1.01f, -0.5f, 24, 7), 1e-5f);
}

// Neighbouring texels across the wrap differ no more than neighbours inside.
float max_step(const Image& img, bool across) {
    float worst = 0;
    int n = img.width;
    for (int y = 0; y < n; ++y) {
        int x0 = across ? n - 1 : n / 2 - 1, x1 = across ? 0 : n / 2;
        for (int c = 0; c < 24; c += 8) {
            int a = int((img.px[size_t(y * n + x0)] >> c) & 255);
            int b = int((img.px[size_t(y * n + x1)] >> c) & 255);
            worst = fmaxf(worst, float(abs(a - b)));
        }
    }
    return worst;
}

TEST(Texgen, TexturesTileSeamlesslyAndRepeat) {
    Image d = make_detail_texture(128), f = make_foam_texture(128);
    EXPECT_LE(max_step(d, true), max_step(d, false) + 24.0f);
    EXPECT_LE(max_step(f, true), max_step(f, false) + 24.0f);
    Image d2 = make_detail_texture(128);
    EXPECT_EQ(d.px, d2.px);
    int lo = 255, hi = 0;
    for (uint32_t p : d.px) {
        lo = std::min(lo, int((p >> 16) & 255));
        hi = std::max(hi, int((p >> 16) & 255));
    }
    EXPECT_GT(hi - lo, 100); // real contrast, not a flat image
}

TEST(Texgen, DdsHasEveryLevelAndParses) {
    std::vector<Image> mips = make_mip_chain(make_foam_texture(64));
    ASSERT_EQ(mips.size(), 7u);
    EXPECT_EQ(mips.back().width, 1);
    std::vector<uint8_t> file = encode_dds(mips);
    DdsImage img;
    ASSERT_TRUE(parse_dds(file.data(), file.size(), img));
    EXPECT_EQ(img.width, 64);
    EXPECT_EQ(img.levels, 7);
    EXPECT_EQ(img.format, 21); // A8R8G8B8
    EXPECT_EQ(memcmp(img.data, mips[0].px.data(), 64 * 64 * 4), 0);
    EXPECT_FALSE(parse_dds(file.data(), file.size() - 1, img));
    // A 2 x 2 level averages its four texels.
    Image tiny;
    tiny.width = tiny.height = 2;
    tiny.px = {0xFF000000u, 0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u};
    std::vector<Image> m = make_mip_chain(tiny);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[1].px[0], 0xFF404040u);
}

} // namespace
