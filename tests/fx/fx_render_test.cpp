// Drawing on the device: a glow particle brightens the composited scene where it is and
// nowhere else, on top of whatever the scene image holds.
#include "tests/render/render_fixture.h"

#include "fx/particles.h"
#include "render/overlay/dyn_vb_writer.h"
#include "scene/scene_camera.h"
#include "scene/scene_render.h"

#include <dirent.h>
#include <fstream>

namespace {
int luma(uint32_t c) {
    return int((c >> 16) & 255) + int((c >> 8) & 255) + int(c & 255);
}

class FxRenderTest : public RenderTest {
  protected:
    static constexpr int W = 64, H = 64;
    void SetUp() override {
        open(W, H);
        copyDir(VELTMOOR_DATA_DIR, {".sh", ".inc"});
        copyDir(VELTMOOR_TEST_APP_DIR, {"fx.dds"});
        common_vb_writer.create(COMMON_VB_SIZE);
        init_scene_tex();
        init_postfx();
        init_common_fx();
        // Camera at (100, 10, 100) looking along +z.
        Matrix44 cam = {};
        cam.m[0][0] = cam.m[1][1] = cam.m[2][2] = cam.m[3][3] = 1.0f;
        cam.m[3][0] = 100.0f;
        cam.m[3][1] = 10.0f;
        cam.m[3][2] = 100.0f;
        set_scene_camera(cam);
        Matrix44 view = cam;
        view.m[3][0] = -100.0f;
        view.m[3][1] = -10.0f;
        view.m[3][2] = -100.0f;
        set_view_tm(view);
        set_proj_tm(1.2f, 1.0f, 0.1f, 512.0f);
        Matrix44 glob;
        get_glob_tm(glob);
        set_vs_consts(0, &glob.m[0][0], 4);
    }
    void TearDown() override {
        close_common_fx();
        close_postfx();
        close_scene_tex();
        common_vb_writer.release();
        RenderTest::TearDown();
    }
    void copyDir(const char* from, std::initializer_list<const char*> endings) {
        DIR* d = opendir(from);
        ASSERT_NE(d, nullptr) << from;
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            for (const char* end : endings) {
                std::string s = end;
                if (name.size() < s.size() || name.compare(name.size() - s.size(), s.size(), s))
                    continue;
                std::ifstream in(std::string(from) + "/" + name, std::ios::binary);
                std::ofstream(dir + name, std::ios::binary) << in.rdbuf();
            }
        }
        closedir(d);
    }
    std::vector<uint32_t> renderScene(D3dColor background) {
        begin_d3d_scene();
        set_render_target(scene_tex, 0, true);
        clear_view(background);
        set_zenable(true);
        set_zwrite(true);
        render_common_fx(0.0f, 0.0f);
        end_d3d_scene();
        return readTexture(scene_tex);
    }
};

TEST_F(FxRenderTest, GlowParticleBrightensOnlyWhereItIs) {
    const D3dColor grey = 0xFF404040u;
    const std::vector<uint32_t> empty = renderScene(grey);
    for (uint32_t c : empty) ASSERT_EQ(c & 0xFFFFFF, grey & 0xFFFFFF);

    // A soft halo 20 units ahead, left of the centre, small on screen.
    add_glow_particle(make4f(96.0f, 10.0f, 120.0f, 1.0f), make4f(0.0f), make4f(0.0f), 10.0f, 0.0f,
                      1.5f, 0xFFFF8040u, 0.0f, 128.0f, 128.0f, 0.0f, 0.0f, nullptr, nullptr,
                      nullptr);
    const std::vector<uint32_t> px = renderScene(grey);
    // 4 units left at depth 20 with a half-angle of 0.6: about 8 pixels left of the centre.
    const int cx = W / 2 - 8, cy = H / 2;
    const uint32_t at = px[size_t(cy * W + cx)];
    EXPECT_GT(luma(at), luma(grey) + 60) << std::hex << at;
    EXPECT_GT((at >> 16) & 255, at & 255) << "tinted by the particle's colour";
    int changed_far = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            const uint32_t c = px[size_t(y * W + x)];
            if (d2 > 14 * 14) changed_far += (c & 0xFFFFFF) != (grey & 0xFFFFFF);
        }
    EXPECT_EQ(changed_far, 0);
    // Glow only adds: the right half stays the background.
    EXPECT_EQ(px[size_t(cy * W + W - 8)] & 0xFFFFFF, grey & 0xFFFFFF);
}

TEST_F(FxRenderTest, BlendParticleCoversAndTrailsDraw) {
    const D3dColor grey = 0xFF404040u;
    add_blend_particle(make4f(100.0f, 10.0f, 120.0f, 1.0f), make4f(0.0f), make4f(0.0f), 10.0f, 0.0f,
                       3.0f, 0xFF000000u, 0.0f, 128.0f, 128.0f, 0.0f, 0.0f, nullptr, nullptr,
                       nullptr);
    const std::vector<uint32_t> px = renderScene(grey);
    EXPECT_LT(luma(px[size_t(H / 2 * W + W / 2)]), luma(grey) - 30) << "black smoke darkens";
    EXPECT_EQ(px[0] & 0xFFFFFF, grey & 0xFFFFFF);

    reset_common_fx();
    const int t = add_trail_fx(make4f(92.0f, 6.0f, 120.0f, 1.0f), make4f(0.0f),
                               make4f(0.0f, 0.6f, 0.0f, 0.0f), 0.5f, 0xFFFFFFFFu);
    for (int k = 1; k <= 8; ++k)
        add_trail_point(t, make4f(92.0f + 2.0f * float(k), 6.0f, 120.0f, 1.0f), make4f(0.0f),
                        make4f(0.0f, 0.6f, 0.0f, 0.0f));
    update_common_fx(FX_STEP); // older points are drawn between their last two places
    const std::vector<uint32_t> tr = renderScene(grey);
    int lit = 0;
    for (uint32_t c : tr) lit += luma(c) > luma(grey) + 30;
    EXPECT_GT(lit, 20);
    EXPECT_EQ(tr[0] & 0xFFFFFF, grey & 0xFFFFFF);
}
} // namespace
