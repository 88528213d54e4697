#include "tests/render/render_fixture.h"

#include "render/overlay/dyn_vb_writer.h"
#include "render/shaders.h"
#include "scene/heightmap_renderer.h"
#include "scene/pipeline/postfx.h"
#include "scene/pipeline/scene_high.h"
#include "scene/pipeline/shadows.h"
#include "scene/scene_camera.h"
#include "scene/scene_render.h"
#include "scene/sky.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <epoxy/gl.h>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/stat.h>

namespace {
uint8_t red(uint32_t c) {
    return uint8_t(c >> 16);
}
uint8_t green(uint32_t c) {
    return uint8_t(c >> 8);
}
int luma(uint32_t c) {
    return (int(red(c)) * 299 + int(green(c)) * 587 + int(uint8_t(c)) * 114) / 1000;
}

int channel_diff(uint32_t a, uint32_t b) {
    int d = 0;
    for (int s = 0; s < 24; s += 8) d += std::abs(int((a >> s) & 255) - int((b >> s) & 255));
    return d;
}

D3dColor rgba(float r, float g, float b, float a) {
    auto q = [](float v) { return uint32_t(lroundf(fminf(fmaxf(v, 0.0f), 1.0f) * 255.0f)); };
    return (q(a) << 24) | (q(r) << 16) | (q(g) << 8) | q(b);
}
D3dColor encode_normal(float x, float y, float z, float specular) {
    float l = sqrtf(x * x + y * y + z * z);
    return rgba(x / l * 0.5f + 0.5f, y / l * 0.5f + 0.5f, z / l * 0.5f + 0.5f, specular);
}
// Linear depth / 512 in base-255 digits, red most significant.
D3dColor encode_depth(float view_depth) {
    const double d = view_depth / 512.0;
    const uint32_t D = uint32_t(llround(d * 255.0 * 255.0 * 255.0));
    return 0xFF000000u | ((D / 65025) << 16) | (((D / 255) % 255) << 8) | (D % 255);
}

vec4f normalized(float x, float y, float z) {
    float l = sqrtf(x * x + y * y + z * z);
    return make4f(x / l, y / l, z / l, 0);
}

vec4f test_ball;
void cast_test_ball(float) {
    render_shadow_ball(test_ball, test_ball.w);
}
void no_casters(float) {}

class PipelineTest : public RenderTest {
  protected:
    void SetUp() override {}
    void openPipeline(int w, int h) {
        open(w, h);
        DIR* d = opendir(VELTMOOR_DATA_DIR);
        ASSERT_NE(d, nullptr);
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.size() < 4) continue;
            std::string ext = name.substr(name.size() - 3);
            if (ext != ".sh" && ext != "inc") continue;
            std::ifstream in(std::string(VELTMOOR_DATA_DIR) + "/" + name, std::ios::binary);
            std::ofstream out(dir + name, std::ios::binary);
            out << in.rdbuf();
        }
        closedir(d);
        common_vb_writer.create(COMMON_VB_SIZE);
        init_scene_tex();
        init_postfx_high();
        for (int i = 0; i < NUM_SKY_COLORS; ++i) cur_sky_colors[i] = SKY_FALLBACK_COLORS[i];
        derive_sky_entries(cur_sky_colors);
        use_fog = use_postfx = use_ppaa = use_obj_shadows = true;
        use_wireframe = false;
    }
    void TearDown() override {
        close_shadows();
        close_deferred_shaders();
        close_postfx_high();
        close_scene_tex();
        common_vb_writer.release();
        scene_render_actor_shadow = no_casters;
        RenderTest::TearDown();
    }
    // Camera at `pos` looking straight down (rows right, up, forward, position).
    void lookDown(const vec4f& pos) {
        Matrix44 cam = {{{1, 0, 0, 0}, {0, 0, 1, 0}, {0, -1, 0, 0}, {pos.x, pos.y, pos.z, 1}}};
        Matrix44 view = {};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) view.m[i][j] = cam.m[j][i];
        for (int j = 0; j < 3; ++j)
            view.m[3][j] = -(pos.x * cam.m[j][0] + pos.y * cam.m[j][1] + pos.z * cam.m[j][2]);
        view.m[3][3] = 1;
        set_view_tm(view);
        set_proj_tm(1.2915436f, float(d3d_wd) / float(d3d_ht), 0.1f, 512.0f);
        Matrix44 glob;
        get_glob_tm(glob);
        set_vs_consts(0, &glob.m[0][0], 4);
        set_vs_consts(4, &pos.x, 1);
        set_scene_camera(cam);
    }
    void fill(Texture* t, D3dColor c) {
        set_render_target(t, 0, false);
        clear_view_color(c);
    }
    // A flat G-buffer seen from `height` straight down.
    void flatGbuffer(float height, D3dColor albedo, D3dColor normal) {
        lookDown(make4f(0, height, 0, 1));
        fill(rt_a, albedo);
        fill(rt_b, normal);
        fill(rt_c, encode_depth(height));
        set_stencil_test(0, 0, D3DCMP_ALWAYS);
        bind_gbuffer_stages();
    }
    uint32_t at(const std::vector<uint32_t>& px, int x, int y) {
        return px[size_t(y) * d3d_wd + x];
    }
};

// A white half-plane under a shallow slope on black: stair-steps along the edge.
void draw_diagonal(Shader* sh) {
    set_render_target(scene_tex, 0, false);
    clear_view_color(0xFF000000u);
    set_shader(sh);
    set_cull_mode(0);
    const ColorVertex v[3] = {
        {-1, -1, 0, 0xFFFFFFFFu}, {1, -1, 0, 0xFFFFFFFFu}, {1, 0.37f, 0, 0xFFFFFFFFu}};
    draw_color_tris(v, 3);
    set_cull_mode(1);
}
} // namespace

TEST_F(PipelineTest, MlaaBlendsOnlyAlongADiagonalEdge) {
    openPipeline(96, 64);
    Shader* color = loadShader("color.sh", COLOR_SHADER);
    draw_diagonal(color);
    const std::vector<uint32_t> before = readTexture(scene_tex);
    Texture* old_scene = scene_tex;
    run_mlaa();
    EXPECT_NE(scene_tex, old_scene);
    EXPECT_EQ(mlaa_passes, 4);
    const std::vector<uint32_t> after = readTexture(scene_tex);

    int changed = 0, darkened = 0, lightened = 0;
    std::set<int> levels;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x) {
            const uint32_t b = at(before, x, y), a = at(after, x, y);
            if ((a & 0xFFFFFF) == (b & 0xFFFFFF)) continue;
            ++changed;
            bool edge = false;
            const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
            for (int k = 0; k < 4; ++k) {
                int nx = x + dx[k], ny = y + dy[k];
                if (nx >= 0 && nx < 96 && ny >= 0 && ny < 64 && at(before, nx, ny) != b)
                    edge = true;
            }
            EXPECT_TRUE(edge) << "pixel " << x << "," << y << " is not on the edge";
            EXPECT_GT(red(a), 0);
            EXPECT_LT(red(a), 255);
            EXPECT_EQ(red(a), green(a));
            levels.insert(red(a));
            (red(b) == 255 ? darkened : lightened) += 1;
        }
    EXPECT_GT(changed, 40);
    // Both sides of the silhouette take colour from across it: pixels with an edge below
    // or to the right and those whose edge belongs to the pixel above or to the left.
    EXPECT_GT(darkened, 15);
    EXPECT_GT(lightened, 15);
    EXPECT_GE(levels.size(), 4u); // a ramp of coverage, not one blur level
}

// Runs longer than one walk and than the 255 cap, both ways: at every edge pixel each
// channel of the run buffer must equal a plain count over the edge flags.
TEST_F(PipelineTest, MlaaRunsMatchAPlainCountOfEdgeFlags) {
    const int W = 300, H = 280;
    openPipeline(W, H);
    Shader* color = loadShader("color.sh", COLOR_SHADER);
    set_render_target(scene_tex, 0, false);
    clear_view_color(0xFF000000u);
    set_shader(color);
    set_cull_mode(0);
    const D3dColor c = 0xFFFFFFFFu, g = 0xFF808080u, r = 0xFFFF0000u;
    const ColorVertex v[] = {
        {-1, -1, 0, c},      {1, -1, 0, c},      {1, -0.6f, 0, c},  // shallow: long rows
        {0.2f, 1, 0, g},     {0.35f, 1, 0, g},   {0.35f, -1, 0, g}, // steep: long columns
        {-0.8f, 0.5f, 0, r}, {1, 0.5f, 0, r},    {1, 0.52f, 0, r},  // across the width
        {-0.8f, 0.5f, 0, r}, {1, 0.52f, 0, r},   {-0.8f, 0.52f, 0, r},
        {-0.9f, 1, 0, c},    {-0.88f, 1, 0, c},  {-0.88f, -1, 0, c}, // down the height
        {-0.9f, 1, 0, c},    {-0.88f, -1, 0, c}, {-0.9f, -1, 0, c}};
    draw_color_tris(v, int(std::size(v)));
    set_cull_mode(1);
    run_mlaa();
    const std::vector<uint32_t> edges = readTexture(rt_c), runs = readTexture(rt_d);
    auto flag = [&](int x, int y, int shift) {
        return x >= 0 && x < W && y >= 0 && y < H &&
               ((edges[size_t(y) * W + x] >> shift) & 255) > 127;
    };
    auto count = [&](int x, int y, int dx, int dy, int shift) {
        int n = 0;
        while (n < 255 && flag(x + dx * (n + 1), y + dy * (n + 1), shift)) ++n;
        return n;
    };
    int longest = 0, tallest = 0, wrong = 0;
    int edge_pixels = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            // The blend reads runs only at pixels with an edge of their own.
            if (!flag(x, y, 16) && !flag(x, y, 8)) continue;
            ++edge_pixels;
            const uint32_t r = runs[size_t(y) * W + x];
            const int want[4] = {count(x, y, -1, 0, 16), count(x, y, 1, 0, 16),
                                 count(x, y, 0, -1, 8), count(x, y, 0, 1, 8)};
            const int got[4] = {int(r >> 16 & 255), int(r >> 8 & 255), int(r & 255), int(r >> 24)};
            for (int k = 0; k < 4; ++k)
                if (got[k] != want[k] && ++wrong <= 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << k << ": " << got[k]
                                  << " instead of " << want[k];
            longest = std::max({longest, want[0], want[1]});
            tallest = std::max({tallest, want[2], want[3]});
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(edge_pixels, 2 * (W + H));
    EXPECT_EQ(longest, 255);
    EXPECT_EQ(tallest, 255);
}

TEST_F(PipelineTest, CopyTextureOnlyBetweenMatchingTargets) {
    openPipeline(64, 32);
    fill(rt_a, 0xFF123456u);
    fill(rt_b, 0xFF000000u);
    EXPECT_TRUE(copy_texture(rt_b, rt_a));
    EXPECT_EQ(readTexture(rt_b), readTexture(rt_a));
    Texture* narrow = create_render_texture(32, 32, 1);
    Texture* other_format = create_render_texture(64, 32, 3);
    ASSERT_NE(narrow, nullptr);
    ASSERT_NE(other_format, nullptr);
    EXPECT_FALSE(copy_texture(narrow, rt_a));
    EXPECT_FALSE(copy_texture(other_format, rt_a));
    EXPECT_FALSE(copy_texture(rt_a, rt_a));
    EXPECT_FALSE(copy_texture(nullptr, rt_a));
    EXPECT_FALSE(copy_texture(rt_a, nullptr));
    release_texture(narrow);
    release_texture(other_format);
}

TEST_F(PipelineTest, MlaaLeavesAStraightEdgeAlone) {
    openPipeline(64, 32);
    Shader* color = loadShader("color.sh", COLOR_SHADER);
    set_render_target(scene_tex, 0, false);
    clear_view_color(0xFF202020u);
    set_shader(color);
    set_cull_mode(0);
    const ColorVertex v[6] = {{-1, -1, 0, 0xFFE0C040u},   {1, -1, 0, 0xFFE0C040u},
                              {1, 0.25f, 0, 0xFFE0C040u}, {-1, -1, 0, 0xFFE0C040u},
                              {1, 0.25f, 0, 0xFFE0C040u}, {-1, 0.25f, 0, 0xFFE0C040u}};
    draw_color_tris(v, 6);
    set_cull_mode(1);
    const std::vector<uint32_t> before = readTexture(scene_tex);
    run_mlaa();
    EXPECT_EQ(readTexture(scene_tex), before);
}

TEST_F(PipelineTest, PostfxSwapsTheSceneImageOnlyWithAntiAliasing) {
    openPipeline(64, 32);
    Texture* first = scene_tex;
    use_ppaa = false;
    apply_postfx_high();
    EXPECT_EQ(scene_tex, first);
    use_ppaa = true;
    apply_postfx_high();
    EXPECT_NE(scene_tex, first);
    // The four work targets and the scene image stay five distinct textures.
    std::set<Texture*> all = {scene_tex, rt_a, rt_b, rt_c, rt_d};
    EXPECT_EQ(all.size(), 5u);
}

TEST_F(PipelineTest, ScreenEffectOnlyOnTheHighPath) {
    openPipeline(64, 32);
    fill(scene_tex, 0xFF406080u);
    use_ppaa = false;
    postfx_frame_color = make4f(1, 0, 0, 1);
    HeightmapRenderer::high_quality = false;
    const int uses = postfx_main_uses;
    apply_postfx_high();
    EXPECT_EQ(postfx_main_uses, uses);
    EXPECT_EQ(readBackBuffer()[16 * 64 + 32] & 0xFFFFFF, 0x406080u); // the plain copy

    HeightmapRenderer::high_quality = true;
    apply_postfx_high();
    EXPECT_EQ(postfx_main_uses, uses + 1);
    std::vector<uint32_t> px = readBackBuffer();
    EXPECT_GT(red(px[0]), 200);                  // the frame colour, full at the corner
    EXPECT_GT(red(px[16 * 64 + 32]), 0x40 + 40); // and tinting the middle

    postfx_frame_color = make4f(0, 0, 0, 0);
    apply_postfx_high();
    px = readBackBuffer();
    const uint32_t mid = px[16 * 64 + 32];
    EXPECT_NEAR(luma(mid), luma(0xFF406080u), 8); // a gentle grade in the middle
    EXPECT_LT(luma(px[0]), luma(mid));            // darker corners
    HeightmapRenderer::high_quality = false;
}

// Without the screen effect the back buffer gets the scene image as it is, the right way up.
TEST_F(PipelineTest, PlainCopyKeepsTheSceneImageAsItIs) {
    openPipeline(64, 32);
    use_ppaa = false;
    HeightmapRenderer::high_quality = false;
    draw_diagonal(loadShader("color.sh", COLOR_SHADER));
    const std::vector<uint32_t> scene = readTexture(scene_tex);
    ASSERT_EQ(scene[0] & 0xFFFFFF, 0u);                   // black at the top
    ASSERT_EQ(scene[31 * 64 + 32] & 0xFFFFFF, 0xFFFFFFu); // white at the bottom
    apply_postfx_high();
    const std::vector<uint32_t> shown = readBackBuffer();
    ASSERT_EQ(shown.size(), scene.size());
    for (size_t i = 0; i < scene.size(); ++i)
        ASSERT_EQ(shown[i] & 0xFFFFFF, scene[i] & 0xFFFFFF) << "pixel " << i;
}

TEST_F(PipelineTest, ShadowMaskDarkensUnderABallOnly) {
    openPipeline(128, 72);
    init_shadows();
    cur_sun_dir = normalized(0, 1, 0);
    flatGbuffer(20.0f, 0xFF808080u, encode_normal(0, 1, 0, 0.05f));

    // No casters: white everywhere, nothing drawn.
    render_shadow_mask(0.0f);
    for (int c : shadow_instance_count) EXPECT_EQ(c, 0);
    EXPECT_EQ(shadow_draw_calls, 0);
    for (uint32_t p : readTexture(rt_d)) ASSERT_EQ(p, 0xFFFFFFFFu);

    test_ball = make4f(0, 1.5f, 0, 1);
    scene_render_actor_shadow = cast_test_ball;
    bind_gbuffer_stages();
    render_shadow_mask(0.0f);
    EXPECT_GT(shadow_draw_calls, 0);
    EXPECT_EQ(shadow_balls.num, 1);
    std::vector<uint32_t> px = readTexture(rt_d);
    EXPECT_LT(red(at(px, 64, 36)), 40);    // under the ball
    EXPECT_LT(green(at(px, 64, 36)), 255); // and less sky there
    EXPECT_EQ(at(px, 2, 2), 0xFFFFFFFFu);  // far away untouched
    EXPECT_EQ(at(px, 125, 69), 0xFFFFFFFFu);
    int dark = 0;
    for (uint32_t p : px) dark += red(p) < 128;
    EXPECT_GT(dark, 20);
    EXPECT_LT(dark, 128 * 72 / 4);

    // Object shadows switched off: the casters are not asked.
    use_obj_shadows = false;
    bind_gbuffer_stages();
    render_shadow_mask(0.0f);
    EXPECT_EQ(shadow_balls.num, 0);
    for (uint32_t p : readTexture(rt_d)) ASSERT_EQ(p, 0xFFFFFFFFu);
}

TEST_F(PipelineTest, SurfaceFacingTheSunIsLitBrighter) {
    openPipeline(64, 36);
    init_deferred_shaders();
    const vec4f s = normalized(0.3f, 1.0f, 0.2f);
    cur_sun_dir = s;
    auto light = [&](const vec4f& n, D3dColor mask) {
        flatGbuffer(20.0f, 0xFF909090u, encode_normal(n.x, n.y, n.z, 0.05f));
        fill(rt_d, mask);
        render_deferred_light();
        return readTexture(scene_tex)[18 * 64 + 32];
    };
    const uint32_t facing = light(s, 0xFFFFFFFFu); // no object shadows
    const uint32_t away = light(make4f(-s.x, -s.y, -s.z, 0), 0xFFFFFFFFu);
    EXPECT_GT(luma(facing), luma(away) + 40);
    // The shadow mask's red channel takes the sun away.
    const uint32_t shadowed = light(s, 0xFF00FFFFu);
    EXPECT_LT(luma(shadowed), luma(facing) - 40);
}

TEST_F(PipelineTest, FogFadesDistantPixelsIntoTheSky) {
    openPipeline(64, 36);
    init_deferred_shaders();
    cur_sun_dir = normalized(0.3f, 1.0f, 0.2f);
    auto lit = [&](float depth, D3dColor albedo) {
        flatGbuffer(depth, albedo, encode_normal(0, 1, 0, 0.05f));
        fill(rt_d, 0xFFFFFFFFu);
        render_deferred_light();
        return readTexture(scene_tex)[18 * 64 + 32];
    };
    const D3dColor grass = 0xFF305020u;
    use_fog = false;
    const uint32_t plain = lit(5.0f, grass), plain_white = lit(300.0f, 0xFFFFFFFFu);
    EXPECT_EQ(lit(300.0f, grass), plain); // without fog, distance alone changes nothing
    use_fog = true;
    const uint32_t near = lit(5.0f, grass), mid = lit(100.0f, grass), far = lit(300.0f, grass);
    EXPECT_LT(channel_diff(near, plain), 12);
    EXPECT_GT(channel_diff(mid, plain), channel_diff(near, plain));
    EXPECT_GT(channel_diff(far, plain), channel_diff(mid, plain) + 20);
    // The haze colour does not depend on the land: a bright and a dark pixel move closer.
    const uint32_t far_white = lit(300.0f, 0xFFFFFFFFu);
    EXPECT_LT(channel_diff(far, far_white) * 4, channel_diff(plain, plain_white) * 3);
}

TEST_F(PipelineTest, DefineValuesKeepTheirBlankInCacheNames) {
    openPipeline(64, 64);
    GLint formats = 0;
    glGetIntegerv(GL_NUM_PROGRAM_BINARY_FORMATS, &formats);
    if (formats <= 0) GTEST_SKIP() << "no program binaries: no shader cache";
    struct stat st;
    auto file_exists = [&](const std::string& p) { return stat(p.c_str(), &st) == 0; };
    EXPECT_TRUE(file_exists(path("cache/mlaa_runs.sh@FIRST@_1.cache")));
    EXPECT_FALSE(file_exists(path("cache/mlaa_runs.sh@FIRST@1.cache")));
}
