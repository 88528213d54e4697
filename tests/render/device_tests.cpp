// Pixels read back from the device: orientation, winding, pixel centres, states, resets.
#include "render/buffers.h"
#include "render/gpu_load.h"
#include "render/shaders.h"
#include "render/vertex_decl.h"
#include "render_fixture.h"

#include <cmath>
#include <cstring>

extern int frames_rendered;

namespace {
const uint32_t RED = 0xffff0000, GREEN = 0xff00ff00, BLUE = 0xff0000ff, BLACK = 0xff000000;

uint32_t at(const std::vector<uint32_t>& px, int w, int x, int y) {
    return px[size_t(y * w + x)];
}

void set_color_const(float r, float g, float b, float a) {
    float c[4] = {r, g, b, a};
    set_ps_consts(0, c, 1);
}

// Full-target quad with the constant shader.
void draw_full_quad() {
    static const VertexElementDesc desc[] = {{0, 0, VSD_FLOAT3, VSD_POSITION, 0}, VSD_END};
    set_vertex_decl(get_vertex_decl(desc));
    draw_postfx();
}

int channel(uint32_t c, int shift) {
    return int((c >> shift) & 255);
}

void expect_near_color(uint32_t got, const float want[4], const char* what) {
    const int shifts[4] = {16, 8, 0, 24};
    for (int i = 0; i < 4; ++i) {
        float w = want[i] < 0 ? 0 : want[i] > 1 ? 1 : want[i];
        EXPECT_NEAR(channel(got, shifts[i]), w * 255.0f, 1.01f)
            << what << " channel " << i << " of " << std::hex << got;
    }
}
} // namespace

class DeviceTest : public RenderTest {
  protected:
    Texture* rt = nullptr;
    Shader* color = nullptr;
    Shader* constant = nullptr;

    void SetUp() override {
        RenderTest::SetUp();
        rt = create_render_texture(64, 64, 1);
        ASSERT_NE(rt, nullptr);
        set_render_target(rt, 0, true);
        clear_view(BLACK);
        color = loadShader("color.sh", COLOR_SHADER);
        constant = loadShader("const.sh", CONST_SHADER);
        set_cull_mode(0);
    }
};

TEST_F(DeviceTest, TriangleAtClipTopLandsInTopRows) {
    set_shader(color);
    ColorVertex tri[3] = {{-1, 1, 0, RED}, {1, 1, 0, RED}, {-1, 0.5f, 0, RED}};
    draw_color_tris(tri, 3);
    auto px = readTexture(rt);
    EXPECT_EQ(at(px, 64, 1, 1), RED);
    EXPECT_EQ(at(px, 64, 1, 62), BLACK);
    EXPECT_EQ(at(px, 64, 62, 62), BLACK);

    // The back buffer has the same orientation, and the presented image too.
    set_backbuffer_target();
    clear_view(BLACK);
    draw_color_tris(tri, 3);
    auto back = readBackBuffer();
    EXPECT_EQ(at(back, 64, 1, 1), RED);
    EXPECT_EQ(at(back, 64, 1, 62), BLACK);
    present_d3d();
    int w = 0, h = 0, pitch = 0;
    auto* shot = static_cast<uint32_t*>(capture_front_buffer(w, h, pitch));
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 64);
    EXPECT_EQ(shot[1 * pitch / 4 + 1], RED);
    EXPECT_EQ(shot[62 * pitch / 4 + 1], BLACK);
    release_front_buffer_capture();
    // The window itself (its row 0 is the bottom), and drawing carries on where it was.
    GLint read_fbo = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_fbo);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    uint8_t win[64][64][4];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 64, 64, GL_RGBA, GL_UNSIGNED_BYTE, win);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(read_fbo));
    EXPECT_EQ(win[62][1][0], 255) << "top rows of the window: red";
    EXPECT_EQ(win[62][1][2], 0);
    EXPECT_EQ(win[1][1][0], 0) << "bottom rows: black";
    GLint draw_fbo = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw_fbo);
    EXPECT_NE(draw_fbo, 0);
    clear_view(BLACK);
    draw_color_tris(tri, 3);
    EXPECT_EQ(at(readBackBuffer(), 64, 1, 1), RED);
}

TEST_F(DeviceTest, CounterClockwiseCullingRemovesWhatDirect3DWould) {
    set_shader(color);
    set_cull_mode(1);
    // Clockwise as seen on the top-down image: top-left, top-right, bottom-left.
    ColorVertex cw[3] = {{-1, 1, 0, RED}, {1, 1, 0, RED}, {-1, -1, 0, RED}};
    ColorVertex ccw[3] = {{1, -1, 0, GREEN}, {1, 1, 0, GREEN}, {-1, -1, 0, GREEN}};
    draw_color_tris(cw, 3);
    draw_color_tris(ccw, 3);
    auto px = readTexture(rt);
    EXPECT_EQ(at(px, 64, 4, 4), RED);
    EXPECT_EQ(at(px, 64, 60, 60), BLACK) << "counter-clockwise triangle was not culled";

    set_cull_mode(0);
    draw_color_tris(ccw, 3);
    px = readTexture(rt);
    EXPECT_EQ(at(px, 64, 60, 60), GREEN);
}

TEST_F(DeviceTest, PostfxCopyIsBitExactWithPointAndLinearSampling) {
    const int W = 16, H = 8;
    const char* copy_sh = R"(
#ifdef VSH
in vec4 POSITION;
VARYING vec2 uv;
void vsh() { gl_Position = vec4(POSITION.xyz, 1.0); uv = POSITION.xy * vc[17].xy + vc[17].zw; }
#endif
#ifdef PSH
layout(binding = 0) uniform sampler2D tex0;
VARYING vec2 uv;
void psh() { oC0 = texture(tex0, uv); }
#endif
)";
    Texture* src = create_managed_texture(W, H);
    ASSERT_NE(src, nullptr);
    int pitch = 0;
    auto* p = static_cast<uint8_t*>(lock_texture(src, pitch, true));
    ASSERT_NE(p, nullptr);
    std::vector<uint32_t> want(W * H);
    uint32_t seed = 12345;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            seed = seed * 1664525u + 1013904223u;
            want[size_t(y * W + x)] = seed;
            memcpy(p + y * pitch + x * 4, &seed, 4);
        }
    unlock_texture(src);
    Texture* dst = create_render_texture(W, H, 1);
    set_render_target(dst, 0, false);
    set_shader(loadShader("copy.sh", copy_sh));
    float c17[4] = {0.5f, -0.5f, 0.5f + 0.5f / W, 0.5f + 0.5f / H};
    set_vs_consts(17, c17, 1);
    bind_texture(0, src);
    for (bool linear : {false, true}) {
        set_render_target(dst, 0, false);
        clear_view(0);
        set_texture_filter(0, linear);
        draw_postfx();
        auto got = readTexture(dst);
        int bad = 0;
        for (int i = 0; i < W * H; ++i) bad += got[size_t(i)] != want[size_t(i)];
        EXPECT_EQ(bad, 0) << (linear ? "linear" : "point") << " copy differs, first pixel "
                          << std::hex << got[0] << " vs " << want[0];
    }
}

TEST_F(DeviceTest, ConstantsPersistAcrossShaderChanges) {
    const char* vs_offset_sh = R"(
#ifdef VSH
in vec4 POSITION;
void vsh() { gl_Position = vec4(POSITION.xy * 0.5 + vc[5].xy, 0.0, 1.0); }
#endif
#ifdef PSH
void psh() { oC0 = pc[0]; }
#endif
)";
    Shader* offset = loadShader("offset.sh", vs_offset_sh);
    float c5[4] = {-0.5f, 0.5f, 0, 0}; // top-left quarter
    set_vs_consts(5, c5, 1);
    set_color_const(0, 0, 1, 1);
    set_shader(constant);
    set_shader(offset);
    draw_full_quad();
    set_shader(color);
    set_shader(offset);
    float c5b[4] = {0.5f, -0.5f, 0, 0}; // bottom-right quarter, pixel colour unchanged
    set_vs_consts(5, c5b, 1);
    draw_full_quad();
    auto px = readTexture(rt);
    EXPECT_EQ(at(px, 64, 8, 8), BLUE);
    EXPECT_EQ(at(px, 64, 56, 56), BLUE);
    EXPECT_EQ(at(px, 64, 56, 8), BLACK);
}

// Registers change between draws that are still queued: each draw must see the values set
// before it, also when a set repeats the registers at its ends and changes only the middle.
TEST_F(DeviceTest, EveryQueuedDrawSeesItsOwnConstants) {
    const char* cell_sh = R"(
#ifdef VSH
in vec4 POSITION;
void vsh() { gl_Position = vec4(POSITION.xy * 0.125 + vc[5].xy, 0.0, 1.0); }
#endif
#ifdef PSH
void psh() { oC0 = vec4(pc[3].x, pc[4].y, pc[5].z, 1.0); }
#endif
)";
    set_shader(loadShader("cell.sh", cell_sh));
    static const VertexElementDesc desc[] = {{0, 0, VSD_FLOAT3, VSD_POSITION, 0}, VSD_END};
    set_vertex_decl(get_vertex_decl(desc));
    set_vb(0, g_dev.postfx_vb, 0, 12);
    for (int i = 0; i < 64; ++i) {
        float offset[4] = {-0.875f + 0.25f * float(i % 8), 0.875f - 0.25f * float(i / 8), 0, 0};
        set_vs_consts(5, offset, 1);
        // Red and blue stay the same from the second cell on; green counts up.
        float regs[12] = {};
        regs[0] = i > 0 ? 1.0f : 0.0f;
        regs[5] = float(i) / 63.0f;
        regs[10] = 0.5f;
        set_ps_consts(3, regs, 3);
        draw_prim(PRIM_TRIANGLESTRIP, 0, 2);
    }
    set_vb(0, nullptr, 0, 0);
    auto px = readTexture(rt);
    for (int i = 0; i < 64; ++i) {
        const float want[4] = {i > 0 ? 1.0f : 0.0f, float(i) / 63.0f, 0.5f, 1.0f};
        expect_near_color(at(px, 64, (i % 8) * 8 + 4, (i / 8) * 8 + 4), want, "cell");
    }
}

TEST_F(DeviceTest, EachBlendSetterGivesItsResult) {
    const float dst[4] = {64 / 255.f, 32 / 255.f, 16 / 255.f, 128 / 255.f};
    const float src[4] = {128 / 255.f, 64 / 255.f, 255 / 255.f, 102 / 255.f};
    struct Case {
        void (*set)();
        const char* name;
    } cases[] = {{set_blend_none, "none"},         {set_blend_additive, "additive"},
                 {set_blend_smooth_add, "smooth"}, {set_blend_alpha, "alpha"},
                 {set_blend_prealpha, "prealpha"}, {set_blend_multiply, "multiply"}};
    set_shader(constant);
    for (const Case& c : cases) {
        clear_view(0x80402010);
        c.set();
        set_color_const(src[0], src[1], src[2], src[3]);
        draw_full_quad();
        set_blend_none();
        float want[4];
        for (int i = 0; i < 4; ++i) {
            float s = src[i], d = dst[i], sa = src[3];
            if (c.set == set_blend_none) want[i] = s;
            if (c.set == set_blend_additive) want[i] = s + d;
            if (c.set == set_blend_smooth_add) want[i] = s + d * (1 - s);
            if (c.set == set_blend_alpha) want[i] = s * sa + d * (1 - sa);
            if (c.set == set_blend_prealpha) want[i] = s + d * (1 - sa);
            if (c.set == set_blend_multiply) want[i] = s * d;
        }
        expect_near_color(readTexture(rt)[100], want, c.name);
    }
}

TEST_F(DeviceTest, StencilReplaceThenTestEqual) {
    set_shader(constant);
    set_color_write_mask(0);
    set_stencil_test(0xff, 1, D3DCMP_ALWAYS);
    set_stencil_replace_bits(0xff);
    set_shader(color);
    ColorVertex left[6] = {{-1, 1, 0, RED}, {0, 1, 0, RED},  {-1, -1, 0, RED},
                           {0, 1, 0, RED},  {0, -1, 0, RED}, {-1, -1, 0, RED}};
    draw_color_tris(left, 6);
    set_color_write_mask(0xf);
    set_stencil_replace_bits(0);
    set_stencil_test(0xff, 1, D3DCMP_EQUAL);
    set_shader(constant);
    set_color_const(1, 0, 0, 1);
    draw_full_quad();
    auto px = readTexture(rt);
    EXPECT_EQ(at(px, 64, 10, 30), RED);
    EXPECT_EQ(at(px, 64, 50, 30), BLACK);

    // Mask 0 only turns the test off: reference and function stay.
    set_stencil_test(0, 7, D3DCMP_NOTEQUAL);
    GLint ref = -1, func = 0;
    glGetIntegerv(GL_STENCIL_REF, &ref);
    glGetIntegerv(GL_STENCIL_FUNC, &func);
    EXPECT_EQ(ref, 1);
    EXPECT_EQ(func, GL_EQUAL);
    set_color_const(0, 1, 0, 1);
    draw_full_quad();
    EXPECT_EQ(at(readTexture(rt), 64, 50, 30), GREEN);
}

TEST_F(DeviceTest, ColorWriteMaskWireframeAndAlphaTest) {
    set_shader(constant);
    set_color_const(1, 1, 1, 1);
    set_color_write_mask(1 | 8);
    draw_full_quad();
    EXPECT_EQ(readTexture(rt)[0], 0xffff0000u);
    set_color_write_mask(0xf);

    clear_view(BLACK);
    set_shader(color);
    set_wireframe(true);
    ColorVertex tri[3] = {
        {-0.5f, 0.5f, 0, GREEN}, {0.5f, 0.5f, 0, GREEN}, {-0.5f, -0.5f, 0, GREEN}};
    draw_color_tris(tri, 3);
    auto px = readTexture(rt);
    EXPECT_EQ(at(px, 64, 22, 22), BLACK) << "interior filled in wireframe";
    int edge = 0;
    for (int x = 16; x < 48; ++x) edge += at(px, 64, x, 16) == GREEN;
    EXPECT_GT(edge, 20);
    set_wireframe(false);
    draw_color_tris(tri, 3);
    EXPECT_EQ(at(readTexture(rt), 64, 22, 22), GREEN);

    // Alpha test: alpha >= ref passes.
    set_shader(constant);
    for (int alpha : {127, 128}) {
        clear_view(BLACK);
        set_atest(128);
        set_color_const(1, 0, 0, float(alpha) / 255.0f);
        draw_full_quad();
        uint32_t p = readTexture(rt)[0] & 0xffffff;
        EXPECT_EQ(p, alpha >= 128 ? 0xff0000u : 0u) << "alpha " << alpha;
    }
    clear_view(BLACK);
    set_atest(0);
    set_color_const(1, 0, 0, 0);
    draw_full_quad();
    EXPECT_EQ(readTexture(rt)[0] & 0xffffff, 0xff0000u);
}

TEST_F(DeviceTest, DepthTestAndWrites) {
    set_shader(color);
    set_zenable(true);
    auto quad = [](float z, uint32_t c) {
        ColorVertex v[6] = {{-1, 1, z, c}, {1, 1, z, c},  {-1, -1, z, c},
                            {1, 1, z, c},  {1, -1, z, c}, {-1, -1, z, c}};
        draw_color_tris(v, 6);
    };
    quad(0.5f, RED);
    quad(0.7f, GREEN);
    EXPECT_EQ(readTexture(rt)[0], RED);
    set_zwrite(false);
    quad(0.2f, BLUE);
    quad(0.4f, GREEN);
    EXPECT_EQ(readTexture(rt)[0], GREEN) << "depth was written with writes off";
    set_zwrite(true);
    set_zenable(false);
    quad(0.9f, BLUE);
    EXPECT_EQ(readTexture(rt)[0], BLUE);
}

TEST_F(DeviceTest, InstancedDrawUsesStreamOnePerInstance) {
    const char* inst_sh = R"(
#ifdef VSH
in vec4 POSITION;
in vec4 TEXCOORD1;
void vsh() { gl_Position = vec4(POSITION.xy + TEXCOORD1.xy, 0.0, 1.0); }
#endif
#ifdef PSH
void psh() { oC0 = vec4(1.0, 1.0, 0.0, 1.0); }
#endif
)";
    set_shader(loadShader("inst.sh", inst_sh));
    static const VertexElementDesc desc[] = {
        {0, 0, VSD_FLOAT2, VSD_POSITION, 0}, {0, 1, VSD_FLOAT2, VSD_TEXCOORD, 1}, VSD_END};
    float quad[8] = {-0.1f, 0.1f, 0.1f, 0.1f, -0.1f, -0.1f, 0.1f, -0.1f};
    float offsets[4] = {-0.5f, 0.5f, 0.5f, -0.5f};
    uint16_t idx[6] = {0, 1, 2, 1, 3, 2};
    GpuBuffer* vb = create_vb(sizeof(quad), BUF_STATIC);
    GpuBuffer* ivb = create_vb(sizeof(offsets), 0);
    GpuBuffer* ib = create_ib(6, BUF_STATIC);
    memcpy(lock_vb(vb, 0, 0), quad, sizeof(quad));
    unlock_vb(vb);
    memcpy(lock_vb(ivb, 0, 0), offsets, sizeof(offsets));
    unlock_vb(ivb);
    memcpy(lock_ib(ib, 0, 0), idx, sizeof(idx));
    unlock_ib(ib);
    set_vertex_decl(get_vertex_decl(desc));
    set_vb(0, vb, 0, 8);
    set_vb(1, ivb, 0, 8);
    set_ib(ib);
    set_instancing(2);
    draw_indexed(PRIM_TRIANGLELIST, 0, 0, 4, 0, 2);
    set_instancing(0);
    auto px = readTexture(rt);
    EXPECT_EQ(at(px, 64, 16, 16), 0xffffff00u);
    EXPECT_EQ(at(px, 64, 48, 48), 0xffffff00u);
    EXPECT_EQ(at(px, 64, 32, 32), BLACK);
    EXPECT_EQ(at(px, 64, 48, 16), BLACK);
}

TEST_F(DeviceTest, ProjectionIsLeftHandedWithDepthZeroToOne) {
    set_proj_tm(float(M_PI) / 2, 2.0f, 1.0f, 101.0f);
    Matrix44 ident = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    set_view_tm(ident);
    Matrix44 g;
    get_glob_tm(g);
    EXPECT_NEAR(g.m[0][0], 0.5f, 1e-6);
    EXPECT_NEAR(g.m[1][1], 1.0f, 1e-6);
    for (float z : {1.0f, 101.0f}) {
        float zc = z * g.m[2][2] + g.m[3][2], wc = z * g.m[2][3] + g.m[3][3];
        EXPECT_NEAR(zc / wc, z == 1.0f ? 0.0f : 1.0f, 1e-6);
    }
    Matrix44 shift = ident;
    shift.m[3][0] = 3;
    set_view_tm(shift);
    get_glob_tm(g);
    EXPECT_NEAR(g.m[3][0], 1.5f, 1e-6); // view first, then projection
}

TEST_F(DeviceTest, SamplerSettingsAndDefaultsAfterReset) {
    GLint v = 0;
    set_texture_address(3, 2, -1, -1);
    for (GLenum axis : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R}) {
        glGetSamplerParameteriv(g_dev.samplers[3], axis, &v);
        EXPECT_EQ(v, GL_CLAMP_TO_BORDER);
    }
    set_texture_address(3, 0, 1, 7);
    glGetSamplerParameteriv(g_dev.samplers[3], GL_TEXTURE_WRAP_S, &v);
    EXPECT_EQ(v, GL_REPEAT);
    glGetSamplerParameteriv(g_dev.samplers[3], GL_TEXTURE_WRAP_R, &v);
    EXPECT_EQ(v, GL_CLAMP_TO_EDGE);
    set_texture_filter(3, false);
    glGetSamplerParameteriv(g_dev.samplers[3], GL_TEXTURE_MAG_FILTER, &v);
    EXPECT_EQ(v, GL_NEAREST);
    ASSERT_TRUE(resize_d3d(32, 32, false, true));
    glGetSamplerParameteriv(g_dev.samplers[3], GL_TEXTURE_MAG_FILTER, &v);
    EXPECT_EQ(v, GL_LINEAR);
    glGetSamplerParameteriv(g_dev.samplers[3], GL_TEXTURE_WRAP_S, &v);
    EXPECT_EQ(v, GL_CLAMP_TO_EDGE);
}

TEST_F(DeviceTest, ScreenSizedTargetFollowsResizeAndFailedResetKeepsSize) {
    Texture* screen = create_screen_texture();
    ASSERT_NE(screen, nullptr);
    GpuBuffer* dyn = create_vb(64, 0);
    GpuBuffer* stat = create_vb(64, BUF_STATIC);
    ASSERT_TRUE(resize_d3d(100, 50, false, false));
    EXPECT_EQ(d3d_wd, 100);
    EXPECT_EQ(d3d_ht, 50);
    GLint w = 0, h = 0;
    glGetTextureLevelParameteriv(screen->gl_tex, 0, GL_TEXTURE_WIDTH, &w);
    glGetTextureLevelParameteriv(screen->gl_tex, 0, GL_TEXTURE_HEIGHT, &h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 50);
    EXPECT_EQ(texture_width(rt), 64);
    EXPECT_NE(dyn->gl_buf, 0u);
    EXPECT_NE(lock_vb(dyn, 0, 0), nullptr);
    unlock_vb(dyn);

    testing::internal::CaptureStdout();
    EXPECT_TRUE(resize_d3d(0, 0, false, false));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    testing::internal::CaptureStdout();
    EXPECT_FALSE(resize_d3d(1 << 20, 50, false, false));
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("Reset failed (code 0x"), std::string::npos) << log;
    EXPECT_EQ(d3d_wd, 100);
    EXPECT_EQ(d3d_ht, 50);
    EXPECT_FALSE(render_d3d_frame(0));
    EXPECT_EQ(screen->gl_tex, 0u);
    EXPECT_NE(stat->gl_buf, 0u) << "static buffers survive resets";

    EXPECT_TRUE(check_d3d_device());
    EXPECT_NE(screen->gl_tex, 0u);
    EXPECT_TRUE(render_d3d_frame(0));
}

TEST_F(DeviceTest, FramesAreNotThrottledWhenTheLimitIsOff) {
    d3d_limit_buffered_frames = false;
    frames_rendered = 0;
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(render_d3d_frame(0.01f));
    EXPECT_EQ(frames_rendered, 8);
    d3d_limit_buffered_frames = true;
    flush_gpu();
    EXPECT_TRUE(render_d3d_frame(0.01f)); // the GPU has caught up
    present_d3d();
}

TEST_F(DeviceTest, WindowResizeAndAltEnterGoThroughResize) {
    SDL_SetWindowSize(window, 80, 40);
    SDL_Event ev;
    int resized = 0;
    auto pump = [&] {
        while (SDL_PollEvent(&ev)) {
            if (ev.type == SDL_WINDOWEVENT && ev.window.event == SDL_WINDOWEVENT_SIZE_CHANGED &&
                !isFullscreen) {
                ++resized;
                EXPECT_TRUE(resize_d3d(ev.window.data1, ev.window.data2, false, false));
            }
            // What the window layer does on Alt-Enter.
            if (ev.type == SDL_KEYDOWN && ev.key.keysym.sym == SDLK_RETURN &&
                (ev.key.keysym.mod & KMOD_ALT)) {
                bool full = !isFullscreen;
                EXPECT_TRUE(resize_d3d(full ? 0 : 64, full ? 0 : 64, full, true));
                SDL_SetWindowFullscreen(window, full ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
            }
        }
    };
    pump();
    EXPECT_GE(resized, 1);
    EXPECT_EQ(d3d_wd, 80);
    EXPECT_EQ(d3d_ht, 40);
    EXPECT_TRUE(render_d3d_frame(0));
    present_d3d();

    SDL_Event key = {};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_RETURN;
    key.key.keysym.mod = KMOD_LALT;
    SDL_PushEvent(&key);
    pump();
    EXPECT_TRUE(isFullscreen);
    SDL_DisplayMode mode;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0);
    EXPECT_EQ(d3d_wd, mode.w);
    EXPECT_EQ(d3d_ht, mode.h);
    EXPECT_TRUE(render_d3d_frame(0));
    present_d3d();

    SDL_PushEvent(&key);
    pump();
    EXPECT_FALSE(isFullscreen);
    EXPECT_EQ(d3d_wd, 64);
    EXPECT_TRUE(render_d3d_frame(0));
    present_d3d();
}

TEST_F(DeviceTest, CaptureIsClippedToTheDisplay) {
    set_backbuffer_target();
    clear_view(RED);
    present_d3d();
    SDL_SetWindowPosition(window, -16, 0);
    int w = 0, h = 0, pitch = 0;
    auto* shot = static_cast<uint32_t*>(capture_front_buffer(w, h, pitch));
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(w, 48);
    EXPECT_EQ(h, 64);
    EXPECT_EQ(shot[0], RED);
    release_front_buffer_capture();
    SDL_SetWindowPosition(window, -100, 0);
    EXPECT_EQ(capture_front_buffer(w, h, pitch), nullptr);
}

TEST_F(DeviceTest, FreeTextureMemoryShrinksWithTextures) {
    unsigned before = get_free_texmem();
    Texture* big = create_managed_texture(512, 512);
    ASSERT_NE(big, nullptr);
    unsigned after = get_free_texmem();
    EXPECT_LT(after, before);
    if (!epoxy_has_gl_extension("GL_NVX_gpu_memory_info") &&
        !epoxy_has_gl_extension("GL_ATI_meminfo")) {
        EXPECT_EQ(before - after, 512u * 512u * 4u);
    }
}

TEST_F(DeviceTest, BadDrawsAreFatalAndUnboundStreamsSkipTheDraw) {
    set_shader(color);
    EXPECT_EXIT(draw_prim(9, 0, 1), testing::ExitedWithCode(100),
                "draw_prim failed \\(code 0x8876086C\\)");
    EXPECT_EXIT(draw_indexed(0, 0, 0, 3, 0, 1), testing::ExitedWithCode(100),
                "draw_indexed failed \\(code 0x8876086C\\)");
    // A stream the shader reads with nothing bound is skipped rather than read from.
    static const VertexElementDesc desc[] = {
        {0, 0, VSD_FLOAT3, VSD_POSITION, 0}, {12, 0, VSD_COLOR32, VSD_COLOR, 0}, VSD_END};
    set_vertex_decl(get_vertex_decl(desc));
    set_vb(0, nullptr, 0, 0);
    draw_prim(PRIM_TRIANGLELIST, 0, 1);
    EXPECT_EQ(readTexture(rt)[0], BLACK);
}

TEST_F(DeviceTest, GpuLoadReadingIsConsistent) {
    int percent = -1;
    if (init_gpu_load()) {
        if (get_gpu_load(percent)) {
            EXPECT_GE(percent, 0);
            EXPECT_LE(percent, 100);
        }
    } else {
        EXPECT_FALSE(get_gpu_load(percent));
    }
    close_gpu_load();
    EXPECT_FALSE(get_gpu_load(percent));
}
