// Whole views: the default world's plots stand on the ground on both paths, and nothing
// beyond the fog wall differs from the fog.
#include "render/device.h"
#include "scene/heightmap_renderer.h"
#include "scene/pipeline/scene_high.h"
#include "scene/scene_render.h"
#include "scene/sky.h"
#include "tests/scene_objects/house_test_util.h"
#include "world/heightmap.h"
#include "world/rnd.h"
#include "world/world_gen_script.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace HeightmapData;
using HR = HeightmapRenderer;

namespace {

class WorldView : public HouseSceneTest, public testing::WithParamInterface<int> {
  protected:
    // The image the sky alone gives from the current camera: the fog colour everywhere.
    std::vector<uint32_t> sky_only() {
        EXPECT_TRUE(begin_d3d_scene());
        set_render_target(scene_tex, 0, true);
        clear_view(0xFF000000u);
        set_stencil_test(0, 0, 0);
        set_zenable(false);
        set_zwrite(false);
        render_sky();
        end_d3d_scene();
        return readTexture(scene_tex);
    }
    static int max_channel_diff(uint32_t a, uint32_t b) {
        int d = 0;
        for (int s = 0; s < 24; s += 8)
            d = std::max(d, abs(int((a >> s) & 255) - int((b >> s) & 255)));
        return d;
    }
    void generate_default_world(uint64_t seed) {
        mkdir(path("gen").c_str(), 0755);
        for (const char* f : {"main.nut", "palette.nut", "settlements.nut"}) {
            std::ifstream in(std::string(VELTMOOR_DATA_DIR) + "/gen/" + f, std::ios::binary);
            std::ofstream out(path("gen/") + f, std::ios::binary);
            out << in.rdbuf();
        }
        world_gen_hooks = WorldGenHooks();
        init_world_gen();
        game_rnd_seed = seed;
        testing::internal::CaptureStdout();
        const bool ok = generate_world();
        testing::internal::GetCapturedStdout();
        close_world_gen();
        ASSERT_TRUE(ok);
    }
};

TEST_F(WorldView, HorizonBeyondTheFogIsTheFogColour) {
    start(320, 180, 1);
    for (int z = 0; z < HMAP_SIZE; ++z)
        for (int x = 0; x < HMAP_SIZE; ++x) {
            // Ridges high enough to stand above the eye at any distance.
            hmap[hm_index(x, z)] = 30.0f * fabsf(sinf(float(x) * 0.049f) * sinf(float(z) * 0.037f));
            surface[hm_index(x, z)].color = 0xFF505848u;
        }
    memcpy(target_hmap, hmap, sizeof(hmap));
    const vec4f eye = make4f(128.0f, 36.0f, 128.0f, 1);
    render_high(eye, make4f(228.0f, 30.0f, 178.0f, 1));
    const std::vector<uint32_t> frame = readTexture(scene_tex);
    const std::vector<uint32_t> gdepth = readTexture(rt_c);
    save_png("horizon_fog.png", frame);
    const std::vector<uint32_t> sky = sky_only();
    int ring = 0, worst = 0;
    for (size_t i = 0; i < frame.size(); ++i) {
        if ((gdepth[i] & 0xFFFFFF) != 0xFFFFFF) continue; // land or water: fogged by distance
        if (int(i / size_t(d3d_wd)) > d3d_ht / 2) ++ring; // below the eye: the horizon ring
        worst = std::max(worst, max_channel_diff(frame[i], sky[i]));
    }
    EXPECT_GT(ring, 100);
    EXPECT_LE(worst, 4);
}

// Water writes no depth; at the rim of the land circle it covers no ground. What the depth
// target held before the frame must not show there (it showed as a dark line on the sea).
TEST_F(WorldView, SeaRimDoesNotDependOnTheLastFrame) {
    start(320, 180, 1);
    for (int i = 0; i < HMAP_CELLS; ++i) {
        hmap[i] = -6.0f + 0.5f * sinf(float(i & 255) * 0.2f);
        surface[i].color = 0xFF706850u;
    }
    memcpy(target_hmap, hmap, sizeof(hmap));
    for (int z = 0; z < HMAP_SIZE; ++z)
        for (int x = 0; x < HMAP_SIZE; ++x) water[z][x].depth = tmpw[z][x].depth = 6.5f;
    const vec4f eye = make4f(128.0f, 14.0f, 128.0f, 1), at = make4f(228.0f, 0.0f, 178.0f, 1);
    std::vector<uint32_t> img[2];
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(begin_d3d_scene());
        set_render_target(rt_c, 0, false);
        clear_view_color(k ? 0xFF000000u : 0xFF808080u); // near or middling stale depth
        set_camera(eye, at, 0.0f);
        update_sky(1.0f);
        HR::frameUpdate(0.05f);
        render_scene_high(0.05f, 1.0f);
        end_d3d_scene();
        img[k] = readTexture(scene_tex);
    }
    save_png("sea_rim.png", img[1]);
    int differ = 0;
    for (size_t i = 0; i < img[0].size(); ++i) differ += max_channel_diff(img[0][i], img[1][i]) > 2;
    EXPECT_EQ(differ, 0);
}

TEST_P(WorldView, DefaultWorldPlotShowsNoSky) {
    const int q = GetParam();
    start(400, 400, q);
    generate_default_world(1);
    // The court: the 18 x 18 window with the most house cells.
    int best = 0, bx = 0, bz = 0;
    for (int z = 0; z < HMAP_SIZE; z += 2)
        for (int x = 0; x < HMAP_SIZE; x += 2) {
            int n = 0;
            for (int dz = 0; dz < 18; dz += 2)
                for (int dx = 0; dx < 18; dx += 2)
                    n += surface[hm_index(x + dx, z + dz)].ground_type == GT_HOUSE;
            if (n > best) best = n, bx = x + 9, bz = z + 9;
        }
    ASSERT_GT(best, 40);
    const float ground = hmap[hm_index(bx, bz)];
    const vec4f eye = make4f(float(bx), ground + 70.0f, float(bz), 1);
    const vec4f at = make4f(float(bx), ground, float(bz) + 0.01f, 1);
    if (q)
        render_high(eye, at, 30.0f);
    else
        render_low(eye, at, 30.0f);
    // The high path's fog needs a perspective view: there the G-buffer tells geometry.
    const std::vector<uint32_t> frame = readTexture(q ? rt_c : scene_tex);
    if (!q) save_png("plot_low.png", frame);
    const std::vector<uint32_t> sky =
        q ? std::vector<uint32_t>(frame.size(), 0xFFFFFFFFu) : sky_only();
    int cells = 0;
    for (int z = bz - 14; z < bz + 14; ++z)
        for (int x = bx - 14; x < bx + 14; ++x) {
            if (surface[hm_index(x, z)].ground_type != GT_HOUSE) continue;
            for (float f : {0.25f, 0.5f, 0.75f}) {
                int px, py;
                ASSERT_TRUE(pixel_of(float(x) + f, float(z) + f, eye, px, py));
                const size_t i = size_t(py) * size_t(d3d_wd) + size_t(px);
                EXPECT_GT(max_channel_diff(frame[i], sky[i]), 12) << x << "," << z;
            }
            ++cells;
        }
    EXPECT_GT(cells, 100);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, WorldView, testing::Values(0, 1));

} // namespace
