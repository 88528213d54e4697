// The shipped world script: it must load, give the same world for the same seed,
// different worlds for different seeds, and a varied landscape.
#include "platform/paths.h"
#include "platform/timer.h"
#include "world/heightmap.h"
#include "world/rnd.h"
#include "world/world_gen_script.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

using namespace HeightmapData;

namespace {
std::string error_text;

uint64_t world_hash() {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](const void* p, size_t n) {
        for (size_t i = 0; i < n; ++i)
            h = (h ^ static_cast<const unsigned char*>(p)[i]) * 1099511628211ull;
    };
    mix(hmap, sizeof(hmap));
    mix(surface, sizeof(surface));
    mix(water, sizeof(water));
    return h;
}

// Top view: surface colour over ground colour, water tinted, lit from the north-west.
void write_png(const char* name) {
    const char* out = getenv("VELTMOOR_TEST_OUT");
    if (!out) return;
    std::vector<unsigned char> px(HMAP_CELLS * 3);
    for (int z = 0; z < HMAP_SIZE; ++z)
        for (int x = 0; x < HMAP_SIZE; ++x) {
            const Surface& s = surface[hm_index(x, z)];
            uint32_t c = s.color;
            float sa = float(s.surf_color >> 24) / 255.0f;
            float rgb[3];
            for (int k = 0; k < 3; ++k) {
                float g = float((c >> (16 - 8 * k)) & 255);
                float t = float((s.surf_color >> (16 - 8 * k)) & 255);
                rgb[k] = g + (t - g) * sa;
            }
            float shade = 1.0f + 0.15f * (hmap[hm_index(x - 1, z - 1)] - hmap[hm_index(x, z)]);
            float depth = water[z][x].depth;
            float wet = depth > 0.05f ? fminf(0.85f, 0.4f + depth * 0.1f) : 0.0f;
            const float sea[3] = {40, 80, 120};
            for (int k = 0; k < 3; ++k) {
                float v = rgb[k] * shade;
                v = v + (sea[k] - v) * wet;
                px[(z * HMAP_SIZE + x) * 3 + k] = (unsigned char)fmaxf(0.0f, fminf(255.0f, v));
            }
        }
    std::string path = std::string(out) + "/" + name;
    stbi_write_png(path.c_str(), HMAP_SIZE, HMAP_SIZE, 3, px.data(), HMAP_SIZE * 3);
}

class DefaultWorldTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        init_timer();
        snprintf(app_path, sizeof(app_path), "%s", VELTMOOR_DATA_DIR);
        world_gen_hooks = WorldGenHooks();
        world_gen_hooks.set_error_message = [](const char* t) { error_text = t ? t : ""; };
        init_world_gen();
    }
    static void TearDownTestSuite() { close_world_gen(); }
    static void generate(uint64_t seed) {
        game_rnd_seed = seed;
        testing::internal::CaptureStdout();
        bool ok = generate_world();
        std::string log = testing::internal::GetCapturedStdout();
        if (getenv("VELTMOOR_VERBOSE")) fputs(log.c_str(), stderr);
        ASSERT_TRUE(ok) << error_text << "\n" << log;
        ASSERT_EQ(error_text, "");
    }
};
} // namespace

TEST_F(DefaultWorldTest, SameSeedSameWorldOtherSeedOtherWorld) {
    generate(1);
    uint64_t a = world_hash();
    write_png("world_seed1.png");
    generate(2);
    uint64_t b = world_hash();
    write_png("world_seed2.png");
    generate(1);
    EXPECT_EQ(world_hash(), a);
    EXPECT_NE(a, b);
}

TEST_F(DefaultWorldTest, VariedLandscape) {
    generate(3);
    write_png("world_seed3.png");
    int wet = 0, rock = 0, grass = 0, snow = 0, house = 0;
    for (int i = 0; i < HMAP_CELLS; ++i) {
        const Surface& s = surface[i];
        if (water[i >> 8][i & 255].depth > 0.1f) ++wet;
        if (s.ground_type == GT_ROCK) ++rock;
        if (s.ground_type == GT_HOUSE) ++house;
        if (s.surf_type == ST_GRASS) ++grass;
        if (s.surf_type == ST_SNOW) ++snow;
    }
    EXPECT_GT(wet, HMAP_CELLS / 50) << "lakes";
    EXPECT_GT(rock, HMAP_CELLS / 50) << "rock";
    EXPECT_GT(grass, HMAP_CELLS / 10) << "grass";
    EXPECT_GT(snow, HMAP_CELLS / 200) << "snow";
    EXPECT_GT(house, 0) << "houses";
    float lo, hi;
    calcHtRange(lo, hi);
    EXPECT_GT(hi - lo, 25.0f);
}
