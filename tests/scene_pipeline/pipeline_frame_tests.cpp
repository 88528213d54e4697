// Whole frames of both paths over a generated world, with PNGs in the test output folder.
#include "render/device.h"
#include "render/overlay/dyn_vb_writer.h"
#include "scene/heightmap_renderer.h"
#include "scene/pipeline/postfx.h"
#include "scene/pipeline/scene_high.h"
#include "scene/pipeline/shadows.h"
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
int caster_calls = 0;
vec4f ball_pos;
void cast_one_ball(float) {
    ++caster_calls;
    render_shadow_ball(ball_pos, 1.5f);
}
void no_casters(float) {}

class PipelineFrame : public SceneTest {
  protected:
    vec4f eye, at;
    void start(int w, int h, int quality) {
        openScene(w, h);
        common_vb_writer.create(COMMON_VB_SIZE);
        generate_sample_world(7, 5000);
        init_sky();
        init_scene_tex();
        init_postfx_high();
        HR::init(quality);
        if (quality) {
            init_deferred_shaders();
            init_shadows();
        }
        set_sky_sun(false, make4f(-0.55f, 0.42f, 0.72f, 0));
        int best = 0;
        float deepest = -1;
        for (int i = 0; i < HMAP_CELLS; ++i)
            if (water[i >> 8][i & 255].depth > deepest) {
                deepest = water[i >> 8][i & 255].depth;
                best = i;
            }
        const float wx = float(best & 255), wz = float(best >> 8);
        const float ground = hmap[best] + deepest;
        eye = make4f(wx - 30.0f, ground + 14.0f, wz - 34.0f, 1);
        at = make4f(wx + 10.0f, ground - 2.0f, wz + 12.0f, 1);
        ball_pos = make4f(wx - 18.0f, ground + 3.0f, wz - 20.0f, 1);
        caster_calls = 0;
        scene_render_actor_shadow = cast_one_ball;
        use_fog = use_postfx = use_ppaa = use_obj_shadows = true;
        use_wireframe = false;
    }
    void TearDown() override {
        scene_render_actor_shadow = no_casters;
        close_shadows();
        close_deferred_shaders();
        close_postfx_high();
        HR::close();
        common_vb_writer.release();
        SceneTest::TearDown();
    }
    std::vector<uint32_t> frame(bool high) {
        step_sky();
        HR::stepUpdate(0.05f);
        updateHmap(0.05f);
        simWater(0.05f);
        EXPECT_TRUE(begin_d3d_scene());
        set_test_camera(eye, at);
        update_sky(0.5f);
        HR::frameUpdate(0.025f);
        if (high)
            render_scene_high(0.025f, 0.5f);
        else
            render_scene_low(0.025f, 0.5f);
        std::vector<uint32_t> scene = readTexture(scene_tex);
        apply_postfx_high();
        end_d3d_scene();
        return scene;
    }
    void save(const char* name) {
        std::vector<uint32_t> px = readBackBuffer();
        const char* out = getenv("VELTMOOR_TEST_OUT");
        std::string path = std::string(out && *out ? out : "/tmp") + "/" + name;
        EXPECT_TRUE(write_png(path, px.data(), d3d_wd, d3d_ht)) << path;
    }
};

TEST_F(PipelineFrame, HighPathLightsTheWorldUnderTheSky) {
    start(320, 180, 1);
    const int uses = postfx_main_uses;
    std::vector<uint32_t> scene;
    for (int i = 0; i < 2; ++i) scene = frame(true);
    EXPECT_EQ(scene_high_fullscreen_passes, 2); // shadow mask, lighting with fog
    EXPECT_EQ(postfx_main_uses, uses + 2);
    EXPECT_EQ(caster_calls, 2);
    EXPECT_GT(shadow_draw_calls, 0);
    EXPECT_GT(HR::horizon_quads, 0);
    int black = 0;
    for (uint32_t c : scene) black += (c & 0xFFFFFF) == 0;
    EXPECT_EQ(black, 0);
    EXPECT_NE(scene[0], scene[scene.size() - 1]); // sky above, land below
    save("scene_high.png");
}

TEST_F(PipelineFrame, LowPathSkipsShadowsAndTheScreenEffect) {
    start(320, 180, 0);
    const int uses = postfx_main_uses;
    frame(false);
    EXPECT_EQ(postfx_main_uses, uses);
    EXPECT_EQ(caster_calls, 0);
    save("scene_low.png");
}

TEST_F(PipelineFrame, HighWireframeIsGreyWithoutSky) {
    start(96, 64, 1);
    eye = make4f(0, 40, 0, 1); // level, the land far below
    at = make4f(0, 40, 10, 1);
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = -200.0f;
    memcpy(target_hmap, hmap, sizeof(hmap));
    HR::markDirty();
    use_wireframe = true;
    std::vector<uint32_t> px = frame(true);
    use_wireframe = false;
    EXPECT_EQ(px[0], WIREFRAME_CLEAR);
    EXPECT_EQ(px[5 * 96 + 48], WIREFRAME_CLEAR);
}
} // namespace
