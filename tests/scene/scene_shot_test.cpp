// End to end: a generated world drawn by the forward path from a fixed camera, saved as
// a PNG in the test output folder.
#include "render/device.h"
#include "scene/heightmap_renderer.h"
#include "scene/scene_render.h"
#include "scene/sky.h"
#include "tests/scene/scene_test_util.h"
#include "world/heightmap.h"
#include "world/sample_world.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace HeightmapData;
using HR = HeightmapRenderer;

namespace {

class SceneShot : public SceneTest {};

TEST_F(SceneShot, GeneratedWorldLowPath) {
    openScene(640, 360);
    generate_sample_world(7, 20000);
    init_sky();
    init_scene_tex();
    init_postfx();
    HR::init(0);
    set_sky_sun(false, make4f(-0.55f, 0.42f, 0.72f, 0));
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
        ASSERT_TRUE(begin_d3d_scene());
        set_test_camera(eye, at);
        update_sky(0.5f);
        HR::frameUpdate(0.025f);
        render_scene_low(0.025f, 0.5f);
        apply_postfx();
        end_d3d_scene();
    }
    px = readBackBuffer();
    EXPECT_GT(HR::water_quads, 0);
    EXPECT_GT(HR::far_quads, 8000); // what is in view of the circle's 49,000
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

} // namespace
