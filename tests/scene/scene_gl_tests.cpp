// The renderer on the device: uploads, the normal maps, the sky's stencil rule and the
// forward frame.
#include "render/buffers.h"
#include "render/shaders.h"
#include "scene/heightmap_renderer.h"
#include "scene/scene_render.h"
#include "scene/sky.h"
#include "tests/scene/scene_test_util.h"
#include "world/heightmap.h"

#include <cmath>
#include <cstring>
#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <vector>

using namespace HeightmapData;
using HR = HeightmapRenderer;

namespace {

class SceneGl : public SceneTest {
  protected:
    void SetUp() override {}
    void start(int w, int h, bool grey = false) {
        openScene(w, h, grey);
        reset();
        memset(water, 0, sizeof(water));
        memset(tmpw, 0, sizeof(tmpw));
        memcpy(target_hmap, hmap, sizeof(hmap));
        init_sky();
        init_scene_tex();
        init_postfx();
        HR::init(0);
    }
    // Flat green land under a sun straight above, seen from above without fog.
    void startFlatGreenLandFromAbove() {
        start(64, 64, true);
        for (int i = 0; i < HMAP_CELLS; ++i) {
            hmap[i] = 2.0f;
            surface[i].color = 0xFF6A8040u;
            surface[i].surf_color = 0;
        }
        memcpy(target_hmap, hmap, sizeof(hmap));
        set_sky_sun(false, make4f(0, 1, 0, 0));
        update_sky(1.0f);
        use_fog = false;
        set_test_camera(make4f(40, 30, 40, 1), make4f(40.1f, 0, 40.2f, 1));
    }
    std::vector<float> readFloat(Texture* t) {
        std::vector<float> v(size_t(texture_width(t)) * size_t(texture_height(t)));
        glGetTextureImage(t->gl_tex, 0, GL_RED, GL_FLOAT, GLsizei(v.size() * 4), v.data());
        return v;
    }
};

TEST_F(SceneGl, HeightsReadBackExactly) {
    start(32, 32);
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = float(i % 1021) * 0.37f - 100.0f;
    water[200][3].depth = 1.5f;
    HR::loadHeights(0, 0, HMAP_SIZE, HMAP_SIZE);
    std::vector<float> h = readFloat(HR::height_tex);
    for (int i = 0; i < HMAP_CELLS; ++i)
        ASSERT_EQ(h[size_t(i)], hmap[i] + water[i >> 8][i & 255].depth) << i;
    // A region leaves the rest alone.
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = 7.0f;
    HR::loadHeights(10, 250, 20, 6);
    h = readFloat(HR::height_tex);
    EXPECT_EQ(h[250 * 256 + 10], 7.0f);
    EXPECT_EQ(h[255 * 256 + 29], 7.0f);
    EXPECT_EQ(h[249 * 256 + 10], float(hm_index(10, 249) % 1021) * 0.37f - 100.0f);
    EXPECT_EQ(h[250 * 256 + 30], float(hm_index(30, 250) % 1021) * 0.37f - 100.0f);
}

TEST_F(SceneGl, ColorsUploadBothLayers) {
    start(32, 32);
    for (int i = 0; i < HMAP_CELLS; ++i) {
        surface[i].color = 0xFF000000u | uint32_t(i * 2654435761u >> 8);
        surface[i].surf_color = uint32_t(i) * 0x01010101u;
    }
    HR::loadColors(0, 0, HMAP_SIZE, HMAP_SIZE);
    std::vector<uint32_t> c = readTexture(HR::color_tex), s = readTexture(HR::surf_color_tex);
    for (int i = 0; i < HMAP_CELLS; ++i) {
        ASSERT_EQ(c[size_t(i)], surface[i].color) << i;
        ASSERT_EQ(s[size_t(i)], surface[i].surf_color) << i;
    }
}

TEST_F(SceneGl, TwoNormalPassesKeepTheOlderInPrev) {
    start(32, 32);
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = float(i & 255) * 0.5f; // slope along x
    HR::loadHeights(0, 0, HMAP_SIZE, HMAP_SIZE);
    HR::calcNormals(0, 0, HMAP_SIZE, HMAP_SIZE);
    Texture* first = HR::norm_tex[1];
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = 0.0f; // flat
    HR::loadHeights(0, 0, HMAP_SIZE, HMAP_SIZE);
    HR::calcNormals(0, 0, HMAP_SIZE, HMAP_SIZE);
    EXPECT_EQ(HR::norm_tex[0], first);
    std::vector<uint32_t> prev = readTexture(HR::norm_tex[0]), cur = readTexture(HR::norm_tex[1]);
    // Texel (400, 300) = cell (100, 75): slope 0.5 -> normal (-0.5, 1, 0) normalised.
    uint32_t p = prev[300 * 1024 + 400], c = cur[300 * 1024 + 400];
    float nx = float((p >> 16) & 255) / 255.0f * 2 - 1, ny = float((p >> 8) & 255) / 255.0f * 2 - 1;
    EXPECT_NEAR(nx, -0.4472f, 0.01f);
    EXPECT_NEAR(ny, 0.8944f, 0.01f);
    EXPECT_EQ(c & 0x00FFFFFFu, 0x0080FF80u); // flat: (0, 1, 0)
    EXPECT_EQ(c >> 24, 255u);                // and the whole sky visible
    // The blend of a pair of maps: halfway between the two.
    Texture* view = create_render_texture(1024, 1024, 1);
    ASSERT_NE(view, nullptr);
    HR::interpTexture(view, HR::norm_tex[0], HR::norm_tex[1], 0.5f, 1024);
    uint32_t v = readTexture(view)[300 * 1024 + 400];
    release_texture(view);
    EXPECT_NEAR(float((v >> 16) & 255), (float((p >> 16) & 255) + 128.0f) * 0.5f, 1.01f);
}

// A new renderer has no previous step: its first frame (at start-up, t = 0) must show the
// current maps, not fade in from empty (black) ones.
TEST_F(SceneGl, FirstFrameOfANewRendererShowsTheMapsNotEmptyOnes) {
    start(32, 32);
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = 0.0f; // flat: normal (0, 1, 0)
    memcpy(target_hmap, hmap, sizeof(hmap));
    set_test_camera(make4f(20, 12, 30, 1), make4f(20, 4, 60, 1));
    HR::frameUpdate(0.0f);
    // The land blends the pair by t: at t = 0 it shows norm_tex[0].
    std::vector<uint32_t> view = readTexture(HR::norm_tex[0]);
    EXPECT_EQ(view[300 * 1024 + 400], 0xFF80FF80u);
    EXPECT_EQ(readTexture(HR::norm_tex[0]), readTexture(HR::norm_tex[1]));
    // From then on a step interpolates from the previous maps as before.
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = float(i & 255) * 0.5f;
    HR::markDirty();
    HR::frameUpdate(0.0f);
    EXPECT_EQ(readTexture(HR::norm_tex[0])[300 * 1024 + 400], 0xFF80FF80u) << "t = 0: previous";
}

// The forward path's sky visibility (normal-map alpha) comes from a map at two texels per
// cell: a pit sees less sky at its centre, open ground all of it, on the right texels.
TEST_F(SceneGl, LowPathVisibilityDarkensAPitWhereItIs) {
    start(32, 32);
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = 0.0f;
    for (int z = 98; z <= 102; ++z)
        for (int x = 58; x <= 62; ++x) hmap[hm_index(x, z)] = -6.0f;
    HR::loadHeights(0, 0, HMAP_SIZE, HMAP_SIZE);
    HR::calcNormals(0, 0, HMAP_SIZE, HMAP_SIZE);
    const std::vector<uint32_t> n = readTexture(HR::norm_tex[1]);
    auto vis = [&](int x, int z) { return n[size_t(z * 4) * 1024 + size_t(x * 4)] >> 24; };
    EXPECT_LT(vis(60, 100), 200u);
    EXPECT_EQ(vis(20, 20), 255u);
    // Symmetric about the pit's centre, so the map is not shifted.
    EXPECT_NEAR(double(vis(57, 100)), double(vis(63, 100)), 6.0);
    EXPECT_NEAR(double(vis(60, 97)), double(vis(60, 103)), 6.0);
}

TEST_F(SceneGl, SkyFillsOnlyWhereTheStencilIsClear) {
    start(64, 64);
    set_test_camera(make4f(0, 5, 0, 1), make4f(0, 5, 10, 1));
    set_render_target(scene_tex, 0, true);
    clear_view(0xFFFF00FFu);
    set_zenable(false);
    set_stencil_test(255, 1, D3DCMP_ALWAYS);
    set_stencil_replace_bits(1);
    Shader* cs = loadShader("color.sh", COLOR_SHADER);
    set_shader(cs);
    set_cull_mode(0);
    ColorVertex tri[3] = {
        {-1, -1, 0.5f, 0xFF102030u}, {-1, 1, 0.5f, 0xFF102030u}, {1, 1, 0.5f, 0xFF102030u}};
    draw_color_tris(tri, 3);
    set_stencil_replace_bits(0);
    set_stencil_test(255, 0, D3DCMP_EQUAL);
    render_sky();
    set_stencil_test(0, 0, D3DCMP_ALWAYS);
    std::vector<uint32_t> px = readTexture(scene_tex);
    int tri_px = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            uint32_t c = px[size_t(y) * 64 + size_t(x)];
            ASSERT_NE(c, 0xFFFF00FFu) << x << "," << y; // nothing left uncovered
            if (c == 0xFF102030u)
                ++tri_px;
            else
                ASSERT_GT(c & 0xFF, 0x30u) << x << "," << y; // sky blue, not the triangle
        }
    EXPECT_NEAR(tri_px, 64 * 64 / 2, 64 + 1);
    release_shader(cs);
}

TEST_F(SceneGl, LowFrameCoversEveryPixelAndMeetsTheSkyAtTheLand) {
    start(96, 64);
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = 0.0f;
    memcpy(target_hmap, hmap, sizeof(hmap));
    set_test_camera(make4f(20, 12, 30, 1), make4f(20, 4, 60, 1));
    HR::frameUpdate(0.05f);
    update_sky(1.0f);
    set_render_target(scene_tex, 0, false);
    clear_view_color(0xFFFF00FFu);
    render_scene_low(0.05f, 1.0f);
    std::vector<uint32_t> px = readTexture(scene_tex);
    for (uint32_t c : px) ASSERT_NE(c, 0xFFFF00FFu);
    // Top rows are sky, bottom rows land: they differ.
    EXPECT_NE(px[0], px[size_t(63) * 96 + 48]);
    apply_postfx();
    std::vector<uint32_t> back = readBackBuffer();
    EXPECT_EQ(back[size_t(10) * 96 + 20] | 0xFF000000u, px[size_t(10) * 96 + 20] | 0xFF000000u);
    EXPECT_EQ(back[size_t(60) * 96 + 70] | 0xFF000000u, px[size_t(60) * 96 + 70] | 0xFF000000u);
}

TEST_F(SceneGl, FlatMapLitFromAboveIsUniform) {
    startFlatGreenLandFromAbove();
    HR::frameUpdate(0.05f);
    render_scene_low(0.05f, 1.0f);
    use_fog = true;
    std::vector<uint32_t> px = readTexture(scene_tex);
    uint32_t c0 = px[0];
    for (uint32_t c : px) ASSERT_EQ(c, c0);
    EXPECT_GT((c0 >> 8) & 255, c0 & 255); // greenish, lit
    EXPECT_GT((c0 >> 8) & 255, 40u);
}

// Uploads draw only the cells that changed since the last one, and the view maps are not
// blended again for the same step fraction; a change must still show in the next frame.
TEST_F(SceneGl, ChangedLandShowsInTheNextFrame) {
    startFlatGreenLandFromAbove();
    auto frame = [this] {
        HR::frameUpdate(0.05f);
        render_scene_low(0.05f, 1.0f);
        return readTexture(scene_tex);
    };
    const std::vector<uint32_t> before = frame();
    HR::markDirty(); // a step that changed nothing
    EXPECT_EQ(frame(), before);
    for (int z = 30; z < 51; ++z)
        for (int x = 30; x < 51; ++x) surface[hm_index(x, z)].color = 0xFFC02010u;
    hmap[hm_index(200, 7)] = 9.0f;
    water[9][201].depth = 0.5f;
    HR::markDirty();
    const std::vector<uint32_t> after = frame();
    use_fog = true;
    const uint32_t c = after[32 * 64 + 32];
    EXPECT_GT((c >> 16) & 255, (c >> 8) & 255) << std::hex << c; // the ground turned red
    const std::vector<uint32_t> col = readTexture(HR::color_tex);
    EXPECT_EQ(col[40 * 256 + 40], 0xFFC02010u);
    EXPECT_EQ(col[10 * 256 + 10], 0xFF6A8040u);
    const std::vector<float> h = readFloat(HR::height_tex);
    EXPECT_EQ(h[7 * 256 + 200], 9.0f);
    EXPECT_EQ(h[9 * 256 + 201], 2.5f);
    EXPECT_EQ(h[0], 2.0f);
    // A reset loses the targets: everything is uploaded again, changed or not.
    ASSERT_TRUE(resize_d3d(64, 64, false, true));
    frame();
    EXPECT_EQ(readTexture(HR::color_tex)[10 * 256 + 10], 0xFF6A8040u);
    EXPECT_EQ(readFloat(HR::height_tex)[7 * 256 + 200], 9.0f);
}

TEST_F(SceneGl, HighPathFillsTheGBufferWithApertureAndLinearDepth) {
    openScene(64, 64);
    reset();
    memset(water, 0, sizeof(water));
    memset(tmpw, 0, sizeof(tmpw));
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = 0.0f;
    hmap[hm_index(40, 40)] = 30.0f; // a spike: the ground next to it sees less sky
    memcpy(target_hmap, hmap, sizeof(hmap));
    init_sky();
    init_scene_tex();
    init_postfx();
    HR::init(1);
    land_shadow_quality = 2;
    Matrix44 view = set_test_camera(make4f(100, 20, 100, 1), make4f(100, 0, 100, 1));
    float c6[4] = {view.m[0][2] / 512, view.m[1][2] / 512, view.m[2][2] / 512, view.m[3][2] / 512};
    set_vs_consts(6, c6, 1);
    HR::frameUpdate(0.05f);
    EXPECT_GT(HR::horizon_quads, 0);
    std::vector<uint32_t> aper = readTexture(HR::aper_view_tex);
    EXPECT_EQ(aper[100 * 256 + 100] & 0xFF, 255u); // open flat ground sees the whole sky
    EXPECT_LT(aper[40 * 256 + 41] & 0xFF, 200u);   // beside the spike
    set_render_target(rt_a, 0, true);
    set_render_target(rt_b, 1, false);
    set_render_target(rt_c, 2, false);
    clear_view(0);
    set_zenable(true);
    set_zwrite(true);
    HR::renderLand();
    HR::renderWater(1.0f);
    set_render_target(nullptr, 1, false);
    set_render_target(nullptr, 2, false);
    uint32_t albedo = readTexture(rt_a)[32 * 64 + 32], normal = readTexture(rt_b)[32 * 64 + 32];
    uint32_t depth = readTexture(rt_c)[32 * 64 + 32];
    EXPECT_EQ(albedo, 0u); // the lighting reads colour and aperture from the land's maps
    EXPECT_NEAR(float((normal >> 8) & 255), 255.0f, 1.0f); // up
    float d = float((depth >> 16) & 255) / 255.0f + float((depth >> 8) & 255) / 65025.0f +
              float(depth & 255) / 16581375.0f;
    EXPECT_NEAR(d * 512.0f, 20.0f, 0.05f); // the ground is 20 units in front of the camera
    HR::renderHorizon();
}

TEST_F(SceneGl, WireframeSkipsTheSkyOnGrey) {
    start(64, 64);
    set_test_camera(make4f(0, 40, 0, 1), make4f(0, 40, 10, 1)); // level, land far below
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = -200.0f;
    memcpy(target_hmap, hmap, sizeof(hmap));
    HR::frameUpdate(0.05f);
    use_wireframe = true;
    render_scene_low(0.05f, 1.0f);
    use_wireframe = false;
    std::vector<uint32_t> px = readTexture(scene_tex);
    EXPECT_EQ(px[0], WIREFRAME_CLEAR);
    EXPECT_EQ(px[32 * 64 + 32], WIREFRAME_CLEAR);
}

} // namespace
