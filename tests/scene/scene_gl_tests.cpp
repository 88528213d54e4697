// The renderer on the device: uploads, the normal maps, the sky's stencil rule and the
// forward frame.
#include "render/buffers.h"
#include "render/shaders.h"
#include "scene/heightmap_renderer.h"
#include "scene/scene_render.h"
#include "scene/sky.h"
#include "tests/scene/scene_test_util.h"
#include "world/heightmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <vector>

using namespace HeightmapData;
using HR = HeightmapRenderer;

namespace {

struct Texel {
    float x, y, z, w;
    bool operator==(const Texel&) const = default;
};

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
    std::vector<Texel> readFloat4(Texture* t) {
        std::vector<Texel> v(size_t(texture_width(t)) * size_t(texture_height(t)));
        glGetTextureImage(t->gl_tex, 0, GL_RGBA, GL_FLOAT, GLsizei(v.size() * 16), v.data());
        return v;
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

// The low path's normal map: two texels per cell, (gradient x, gradient z, sky visibility).
TEST_F(SceneGl, TwoNormalPassesKeepTheOlderInPrev) {
    start(32, 32);
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = float(i & 255) * 0.5f; // slope along x
    HR::loadHeights(0, 0, HMAP_SIZE, HMAP_SIZE);
    HR::calcNormals(0, 0, HMAP_SIZE, HMAP_SIZE);
    HR::calcVisibility(0, 0, HMAP_SIZE, HMAP_SIZE);
    Texture* first = HR::norm_tex[1];
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = 0.0f; // flat
    HR::loadHeights(0, 0, HMAP_SIZE, HMAP_SIZE);
    HR::calcNormals(0, 0, HMAP_SIZE, HMAP_SIZE);
    EXPECT_EQ(HR::norm_tex[0], first);
    // Texel (200, 150) = cell (100, 75): slope 0.5, so left minus right is -1.
    const size_t at = 150 * 512 + 200;
    const std::vector<Texel> prev = readFloat4(HR::norm_tex[0]), cur = readFloat4(HR::norm_tex[1]);
    EXPECT_FLOAT_EQ(prev[at].x, -1.0f);
    EXPECT_FLOAT_EQ(prev[at].y, 0.0f);
    EXPECT_FLOAT_EQ(prev[at + 1].x, -1.0f); // halfway to the next cell
    EXPECT_EQ(cur[at].x, 0.0f);             // flat
    EXPECT_EQ(cur[at].y, 0.0f);
    EXPECT_LT(prev[at].z, 0.95f);     // a slope hides some of the sky...
    EXPECT_EQ(cur[at].z, prev[at].z); // ...carried over without its own pass
    // The blend of a pair of maps: halfway between the two.
    Texture* view = create_render_texture(512, 512, 5);
    ASSERT_NE(view, nullptr);
    HR::interpTexture(view, HR::norm_tex[0], HR::norm_tex[1], 0.5f, 512);
    const Texel v = readFloat4(view)[at];
    release_texture(view);
    EXPECT_NEAR(v.x, -0.5f, 1e-3f);
}

// A new renderer has no previous step: its first frame (at start-up, t = 0) must show the
// current maps, not fade in from empty (black) ones.
TEST_F(SceneGl, FirstFrameOfANewRendererShowsTheMapsNotEmptyOnes) {
    start(32, 32);
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = 0.0f; // flat: no gradient, all sky
    memcpy(target_hmap, hmap, sizeof(hmap));
    set_test_camera(make4f(20, 12, 30, 1), make4f(20, 4, 60, 1));
    HR::frameUpdate(0.0f);
    // The land blends the pair by t: at t = 0 it shows norm_tex[0].
    const size_t at = 150 * 512 + 200;
    const std::vector<Texel> view = readFloat4(HR::norm_tex[0]);
    EXPECT_EQ(view[at].x, 0.0f);
    EXPECT_EQ(view[at].z, 1.0f);
    EXPECT_EQ(view, readFloat4(HR::norm_tex[1]));
    // From then on a step interpolates from the previous maps as before.
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = float(i & 255) * 0.5f;
    HR::markDirty();
    HR::frameUpdate(0.0f);
    EXPECT_EQ(readFloat4(HR::norm_tex[0])[at].x, 0.0f) << "t = 0: previous";
    EXPECT_FLOAT_EQ(readFloat4(HR::norm_tex[1])[at].x, -1.0f);
}

// The forward path's sky visibility (normal-map b) at two texels per cell: a pit sees less sky
// at its centre, open ground all of it, on the right texels.
TEST_F(SceneGl, LowPathVisibilityDarkensAPitWhereItIs) {
    start(32, 32);
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = 0.0f;
    for (int z = 98; z <= 102; ++z)
        for (int x = 58; x <= 62; ++x) hmap[hm_index(x, z)] = -6.0f;
    HR::loadHeights(0, 0, HMAP_SIZE, HMAP_SIZE);
    HR::calcNormals(0, 0, HMAP_SIZE, HMAP_SIZE);
    HR::calcVisibility(0, 0, HMAP_SIZE, HMAP_SIZE);
    const std::vector<Texel> n = readFloat4(HR::norm_tex[1]);
    auto vis = [&](int x, int z) { return n[size_t(z * 2) * 512 + size_t(x * 2)].z; };
    EXPECT_LT(vis(60, 100), 0.78f);
    EXPECT_EQ(vis(20, 20), 1.0f);
    // Symmetric about the pit's centre, so the map is not shifted.
    EXPECT_NEAR(vis(57, 100), vis(63, 100), 0.02f);
    EXPECT_NEAR(vis(60, 97), vis(60, 103), 0.02f);
}

// Between world changes each step recomputes the sky visibility of one band of rows, the
// gradients whole: a change shows in one more band per step, blended in from the previous
// map, and everywhere after MAP_SLICES steps exactly as a whole recomputation (no seams at
// the bands). A world change recomputes it whole at once.
class SkyMapGl : public SceneGl, public testing::WithParamInterface<int> {};

TEST_P(SkyMapGl, AChangeShowsWithinMapSlicesSteps) {
    const bool high = GetParam() != 0;
    start(32, 32);
    if (high) HR::init(1);
    land_shadow_quality = 2;
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = 0.0f;
    memcpy(target_hmap, hmap, sizeof(hmap));
    set_test_camera(make4f(20, 12, 30, 1), make4f(20, 4, 60, 1));
    HR::frameUpdate(0.05f);
    // Visibility per texel of the previous (0) or current (1) map.
    auto sky = [&](int which) {
        std::vector<float> v;
        if (high)
            for (uint32_t c : readTexture(HR::aper_tex[which])) v.push_back(float(c & 255));
        else
            for (const Texel& t : readFloat4(HR::norm_tex[which])) v.push_back(t.z);
        return v;
    };
    const int per_cell = high ? 1 : 2, row = HMAP_SIZE * per_cell;
    const int band = HMAP_SIZE / HR::MAP_SLICES;
    // A tower in the middle of each band: the ground beside it sees less sky.
    for (int b = 0; b < HR::MAP_SLICES; ++b) hmap[hm_index(40, b * band + band / 2)] = 30.0f;
    auto beside = [&](int b) {
        return size_t((b * band + band / 2) * per_cell * row + 41 * per_cell);
    };
    auto shown = [&](const std::vector<float>& v) {
        int k = 0;
        for (int b = 0; b < HR::MAP_SLICES; ++b) k += v[beside(b)] < v[0];
        return k;
    };
    std::vector<float> last = sky(1);
    EXPECT_EQ(shown(last), 0);
    for (int step = 1; step <= HR::MAP_SLICES; ++step) {
        HR::stepUpdate(0.05f);
        HR::frameUpdate(0.05f);
        EXPECT_EQ(sky(0), last) << "the frame blends from the last step's map";
        last = sky(1);
        EXPECT_EQ(shown(last), step);
        const std::vector<Texel> grad = readFloat4(HR::norm_tex[1]);
        for (int b = 0; b < HR::MAP_SLICES; ++b)
            EXPECT_NEAR(grad[beside(b)].x, 30.0f, 0.05f) << "gradients are whole every step";
    }
    HR::markDirty();
    HR::frameUpdate(0.05f);
    // The bands' quads interpolate texture coordinates a rounding apart from the whole map's.
    const std::vector<float> whole = sky(1);
    float most = 0.0f;
    for (size_t i = 0; i < whole.size(); ++i) most = std::max(most, std::fabs(whole[i] - last[i]));
    EXPECT_LT(most, high ? 0.5f : 1e-3f);
    if (high) { // another aperture variant shows whole in its first step, not band by band
        land_shadow_quality = 0;
        HR::stepUpdate(0.05f);
        HR::frameUpdate(0.05f);
        const std::vector<float> q0 = sky(1);
        EXPECT_NE(q0, last);
        HR::markDirty();
        HR::frameUpdate(0.05f);
        EXPECT_EQ(sky(1), q0);
    }
    for (int b = 0; b < HR::MAP_SLICES; ++b) hmap[hm_index(40, b * band + band / 2)] = 0.0f;
    HR::markDirty();
    HR::frameUpdate(0.05f);
    EXPECT_EQ(shown(sky(1)), 0);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, SkyMapGl, testing::Values(0, 1));

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
