// End to end: a generated world drawn by the forward path from a fixed camera, saved as
// a PNG in the test output folder.
#include "render/device.h"
#include "scene/heightmap_renderer.h"
#include "scene/scene_render.h"
#include "scene/sky.h"
#include "tests/scene/scene_test_util.h"
#include "world/heightmap.h"
#include "world/sample_world.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

using namespace HeightmapData;
using HR = HeightmapRenderer;

namespace {

class SceneShot : public SceneTest {
  protected:
    // The sample world at 640 x 360 under a low afternoon sun, ready to draw.
    void openSampleWorld() {
        openScene(640, 360);
        generate_sample_world(7, 20000);
        init_sky();
        init_scene_tex();
        init_postfx();
        HR::init(0);
        set_sky_sun(false, make4f(-0.55f, 0.42f, 0.72f, 0));
    }
    // One low-path frame from eye towards at, with or without the post pass.
    void drawLowFrame(const vec4f& eye, const vec4f& at, bool postfx) {
        ASSERT_TRUE(begin_d3d_scene());
        set_test_camera(eye, at);
        update_sky(0.5f);
        HR::frameUpdate(0.025f);
        render_scene_low(0.025f, 0.5f);
        if (postfx) apply_postfx();
        end_d3d_scene();
    }
};

TEST_F(SceneShot, GeneratedWorldLowPath) {
    openSampleWorld();
    // Camera above the lowest water, looking across it.
    int best = 0;
    float deepest = -1;
    for (int i = 0; i < HMAP_CELLS; ++i)
        if (water[i >> 8][i & 255].depth > deepest) {
            deepest = water[i >> 8][i & 255].depth;
            best = i;
        }
    float wx = float(best & 255), wz = float(best >> 8);
    float ground = hmap[best] + deepest;
    vec4f eye = make4f(wx - 30.0f, ground + 14.0f, wz - 34.0f, 1);
    vec4f at = make4f(wx + 10.0f, ground - 2.0f, wz + 12.0f, 1);
    std::vector<uint32_t> px;
    for (int frame = 0; frame < 3; ++frame) {
        step_sky();
        HR::stepUpdate(0.05f);
        updateHmap(0.05f);
        simWater(0.05f);
        drawLowFrame(eye, at, true);
    }
    px = readBackBuffer();
    EXPECT_GT(HR::water_quads, 0);
    EXPECT_GT(HR::far_triangles, 8000); // of the circle's 98,000, in view and coarse far off
    // Sky at the top, something else at the bottom; no pixel left black.
    int black = 0;
    for (uint32_t c : px)
        if ((c & 0xFFFFFF) == 0) ++black;
    EXPECT_EQ(black, 0);
    EXPECT_NE(px[0], px[px.size() - 1]);
    const char* out = getenv("VELTMOOR_TEST_OUT");
    std::string path = std::string(out && *out ? out : "/tmp") + "/scene_low.png";
    EXPECT_TRUE(write_png(path, px.data(), d3d_wd, d3d_ht)) << path;
}

// Far land drawn coarse where its cells cover a few pixels looks as the fine mesh does:
// the same view with and without, pixel by pixel within a small tolerance.
TEST_F(SceneShot, CoarseFarLandLooksLikeTheFineMesh) {
    openSampleWorld();
    const vec4f eye = make4f(90.0f, 40.0f, 60.0f, 1), at = make4f(120.0f, 25.0f, 160.0f, 1);
    auto shot = [&](float coarse_px, float patch_px) {
        HR::coarse_cell_pixels = coarse_px;
        HR::patch_cell_pixels = patch_px;
        drawLowFrame(eye, at, true);
        return readBackBuffer();
    };
    const std::vector<uint32_t> fine = shot(0.0f, 0.0f);
    EXPECT_EQ(HR::coarse_blocks, 0);
    const int fine_tris = HR::far_triangles, patches = HR::near_count;
    const std::vector<uint32_t> coarse = shot(6.0f, 64.0f);
    EXPECT_GT(HR::coarse_blocks, 50);
    EXPECT_LT(HR::near_count, patches);
    EXPECT_LT(HR::far_triangles, fine_tris * 3 / 4);
    ASSERT_EQ(fine.size(), coarse.size());
    double sum = 0;
    size_t off = 0;
    for (size_t i = 0; i < fine.size(); ++i) {
        int worst = 0;
        for (int c = 0; c < 24; c += 8)
            worst = std::max(worst, abs(int((fine[i] >> c) & 255) - int((coarse[i] >> c) & 255)));
        sum += worst;
        off += worst > 24;
    }
    printf("coarse far land: %d blocks, %d of %d triangles, %d of %d near patches; mean "
           "difference %.3f, %zu pixels off by more than 24\n",
           HR::coarse_blocks, HR::far_triangles, fine_tris, HR::near_count, patches,
           sum / double(fine.size()), off);
    EXPECT_LT(sum / double(fine.size()), 1.0);
    EXPECT_LT(off, fine.size() / 200);
    const char* out = getenv("VELTMOOR_TEST_OUT");
    const std::string dir = out && *out ? out : "/tmp";
    EXPECT_TRUE(write_png(dir + "/scene_low_fine.png", fine.data(), d3d_wd, d3d_ht));
    EXPECT_TRUE(write_png(dir + "/scene_low_coarse.png", coarse.data(), d3d_wd, d3d_ht));
}

// The land is shaded only over the screen tiles its blocks may cover: from eye height among
// the hills, where blocks reach behind the camera, the first frame into a fresh (black) scene
// image still leaves no pixel unshaded.
TEST_F(SceneShot, EyeLevelAmongHillsLeavesNoPixelUnshaded) {
    openSampleWorld();
    int lowest = 0;
    for (int i = 0; i < HMAP_CELLS; ++i)
        if (hmap[i] + water[i >> 8][i & 255].depth <
            hmap[lowest] + water[lowest >> 8][lowest & 255].depth)
            lowest = i;
    for (float yaw : {0.0f, 2.0f, 4.0f}) {
        init_scene_tex();
        const float x = float(lowest & 255) + 20.0f, z = float(lowest >> 8) + 20.0f;
        const float ground =
            hmap[hm_index(int(x), int(z))] + water[int(z) & 255][int(x) & 255].depth;
        const vec4f eye = make4f(x, ground + 1.5f, z, 1);
        const vec4f at = make4f(x + 30.0f * sinf(yaw), ground + 3.0f, z + 30.0f * cosf(yaw), 1);
        drawLowFrame(eye, at, false);
        int black = 0;
        for (uint32_t c : readTexture(scene_tex)) black += (c & 0xFFFFFF) == 0;
        EXPECT_EQ(black, 0) << "yaw " << yaw;
    }
}

} // namespace
