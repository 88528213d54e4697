// The device: context, frame protocol, targets, render states, samplers, constants, draws.
//
// [SECTION] state and GL helpers
// [SECTION] constant registers
// [SECTION] screen resources (back buffers, scene z-buffer, frame fences)
// [SECTION] lifetime: init, close, resize, check
// [SECTION] frame and present
// [SECTION] views and transforms
// [SECTION] render targets
// [SECTION] render states and samplers
// [SECTION] draws
// [SECTION] utilities
#include "render/device.h"

#include "platform/log.h"
#include "render/buffers.h"
#include "render/device_internal.h"
#include "render/mesh.h"
#include "render/textures.h"
#include "render/vertex_decl.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// [SECTION] state and GL helpers

int d3d_wd = 0, d3d_ht = 0;
int d3d_reset_count = 0;
bool d3d_limit_buffered_frames = true;
void (*on_d3d_resized)() = nullptr;
void (*on_d3d_render_frame)(float) = nullptr;

DeviceState g_dev;

namespace {
Matrix44 view_tm, proj_tm;
int color_mask = 0xf;
bool zwrite_on = true;
int stencil_write_mask = 0xff;
bool target0_is_back = true;
void* capture_mem = nullptr;
} // namespace

void clear_gl_errors() {
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

uint32_t take_gl_error() {
    GLenum e = glGetError();
    clear_gl_errors();
    return e == GL_NO_ERROR ? 0 : uint32_t(e);
}

int gl_prim_mode(int prim_type) {
    switch (prim_type) {
    case PRIM_POINTLIST:
        return GL_POINTS;
    case PRIM_LINELIST:
        return GL_LINES;
    case PRIM_LINESTRIP:
        return GL_LINE_STRIP;
    case PRIM_TRIANGLELIST:
        return GL_TRIANGLES;
    case PRIM_TRIANGLESTRIP:
        return GL_TRIANGLE_STRIP;
    case PRIM_TRIANGLEFAN:
        return GL_TRIANGLE_FAN;
    default:
        return -1;
    }
}

static int prim_vertex_count(int prim_type, int prims) {
    switch (prim_type) {
    case PRIM_POINTLIST:
        return prims;
    case PRIM_LINELIST:
        return prims * 2;
    case PRIM_LINESTRIP:
        return prims + 1;
    case PRIM_TRIANGLELIST:
        return prims * 3;
    default:
        return prims + 2;
    }
}

static void delete_fence(GLsync& f) {
    if (f) glDeleteSync(f);
    f = nullptr;
}

// Waits until the fence has signalled (flushing first), then deletes it.
static void wait_fence(GLsync& f) {
    if (!f) return;
    while (glClientWaitSync(f, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000ull) == GL_TIMEOUT_EXPIRED) {
    }
    delete_fence(f);
}

// [SECTION] constant registers
// Constant registers are global device state: the two blocks live in system memory, each
// mirrored by one uniform buffer bound once, and before a draw only the registers changed
// since the last draw are written into it with glNamedBufferSubData. GL orders that write
// after the draws already issued, so none of them sees the new values and nothing waits:
// Mesa's software rasteriser runs vertex programs while the draw call is made and keeps
// its own copy of pixel constants, and GPU drivers stream small updates through their
// command buffers. Binding a fresh range of a mapped ring per draw instead made Mesa
// revalidate the uniform buffers of every stage on each draw, and the ring's chunk fences
// flushed the queue dozens of times a frame.

namespace {
struct ConstBlock {
    GLuint buf = 0;
    int lo = 0, hi = 0; // registers [lo, hi) changed since the last upload
};
ConstBlock vs_block, ps_block;
} // namespace

static void mark_dirty(ConstBlock& b, int first, int count) {
    if (b.hi <= b.lo) {
        b.lo = first;
        b.hi = first + count;
        return;
    }
    if (first < b.lo) b.lo = first;
    if (first + count > b.hi) b.hi = first + count;
}

// Stores registers and marks those that really changed: setting the same values again
// (a common pattern above the device) costs a compare, not an upload.
static void write_regs(ConstBlock& b, float* regs, int first, const float* data, int count) {
    while (count > 0 && memcmp(regs + first * 4, data, 16) == 0) {
        ++first;
        data += 4;
        --count;
    }
    while (count > 0 && memcmp(regs + (first + count - 1) * 4, data + (count - 1) * 4, 16) == 0)
        --count;
    if (count <= 0) return;
    memcpy(regs + first * 4, data, size_t(count) * 16);
    mark_dirty(b, first, count);
}

static bool const_blocks_create() {
    GLuint bufs[2] = {};
    glCreateBuffers(2, bufs);
    vs_block = ConstBlock{bufs[0], 0, 0};
    ps_block = ConstBlock{bufs[1], 0, 0};
    clear_gl_errors();
    glNamedBufferStorage(vs_block.buf, VS_BLOCK_REGS * 16, g_dev.vs_regs, GL_DYNAMIC_STORAGE_BIT);
    glNamedBufferStorage(ps_block.buf, PS_BLOCK_REGS * 16, g_dev.ps_regs, GL_DYNAMIC_STORAGE_BIT);
    if (take_gl_error()) return false;
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, vs_block.buf);
    glBindBufferBase(GL_UNIFORM_BUFFER, 1, ps_block.buf);
    return true;
}

static void const_blocks_destroy() {
    GLuint bufs[2] = {vs_block.buf, ps_block.buf};
    if (bufs[0]) glDeleteBuffers(2, bufs);
    vs_block = ConstBlock{};
    ps_block = ConstBlock{};
}

static void upload_block(ConstBlock& b, const float* regs) {
    if (b.hi <= b.lo) return;
    glNamedBufferSubData(b.buf, GLintptr(b.lo) * 16, GLsizeiptr(b.hi - b.lo) * 16, regs + b.lo * 4);
    b.lo = b.hi = 0;
}

static void upload_constants() {
    upload_block(vs_block, g_dev.vs_regs);
    upload_block(ps_block, g_dev.ps_regs);
}

void set_vs_consts(int first, const float* data, int count) {
    if (first < 0 || count < 0 || first + count > MAX_VS_CONSTS || (!data && count)) {
        debug("set_vs_consts: registers %d..%d out of range", first, first + count - 1);
        return;
    }
    write_regs(vs_block, g_dev.vs_regs, first, data, count);
}

void set_ps_consts(int first, const float* data, int count) {
    if (first < 0 || count < 0 || first + count > MAX_PS_CONSTS || (!data && count)) {
        debug("set_ps_consts: registers %d..%d out of range", first, first + count - 1);
        return;
    }
    write_regs(ps_block, g_dev.ps_regs, first, data, count);
}

// The vertex wrapper of every shader moves clip positions by this much so that pixel
// centres fall on integer coordinates as in Direct3D 9.
static void set_halfpixel(int w, int h) {
    float fix[4] = {w > 0 ? 1.0f / float(w) : 0.0f, h > 0 ? -1.0f / float(h) : 0.0f, 0.0f, 0.0f};
    write_regs(vs_block, g_dev.vs_regs, MAX_VS_CONSTS, fix, 1);
}

// [SECTION] screen resources

static void attach_color(int index, GLuint tex) {
    if (g_dev.color_att[index] == tex) return;
    g_dev.color_att[index] = tex;
    glNamedFramebufferTexture(g_dev.fbo, GLenum(GL_COLOR_ATTACHMENT0 + index), tex, 0);
    GLenum bufs[MAX_COLOR_TARGETS];
    int n = 0;
    for (int i = 0; i < MAX_COLOR_TARGETS; ++i) {
        if (g_dev.color_att[i]) n = i + 1;
        bufs[i] = g_dev.color_att[i] ? GLenum(GL_COLOR_ATTACHMENT0 + i) : GLenum(GL_NONE);
    }
    glNamedFramebufferDrawBuffers(g_dev.fbo, n > 0 ? n : 1, bufs);
}

void dev_forget_texture(GLuint tex) {
    for (int i = 0; i < MAX_COLOR_TARGETS; ++i)
        if (g_dev.color_att[i] == tex) attach_color(i, 0);
}

static void attach_depth(bool on) {
    GLuint rb = on ? g_dev.zbuffer : 0;
    if (g_dev.depth_att == rb) return;
    g_dev.depth_att = rb;
    glNamedFramebufferRenderbuffer(g_dev.fbo, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, rb);
}

static void apply_viewport(int x, int y, int w, int h) {
    glViewport(x, y, w, h);
    set_halfpixel(w, h);
}

static void bind_backbuffer_as_target0() {
    attach_color(0, g_dev.back_tex[g_dev.back_cur]);
    target0_is_back = true;
    apply_viewport(0, 0, d3d_wd, d3d_ht);
}

static void release_screen_resources() {
    for (GLsync& f : g_dev.frame_fence) delete_fence(f);
    g_dev.flush_query = false;
    for (int i = 0; i < MAX_COLOR_TARGETS; ++i) attach_color(i, 0);
    attach_depth(false);
    if (g_dev.zbuffer) glDeleteRenderbuffers(1, &g_dev.zbuffer);
    g_dev.zbuffer = 0;
    for (int i = 0; i < 2; ++i) {
        if (g_dev.back_read_fbo[i]) glDeleteFramebuffers(1, &g_dev.back_read_fbo[i]);
        if (g_dev.back_tex[i]) glDeleteTextures(1, &g_dev.back_tex[i]);
        g_dev.back_read_fbo[i] = g_dev.back_tex[i] = 0;
    }
    g_dev.back_shown = -1;
}

// The "device reset": off-screen back buffers of the new size. Returns a GL error or 0.
static uint32_t create_back_buffers(int w, int h) {
    clear_gl_errors();
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    if (w <= 0 || h <= 0 || w > max_size || h > max_size) return GL_INVALID_VALUE;
    for (int i = 0; i < 2; ++i) {
        glCreateTextures(GL_TEXTURE_2D, 1, &g_dev.back_tex[i]);
        glTextureStorage2D(g_dev.back_tex[i], 1, GL_RGBA8, w, h);
        glCreateFramebuffers(1, &g_dev.back_read_fbo[i]);
        glNamedFramebufferTexture(g_dev.back_read_fbo[i], GL_COLOR_ATTACHMENT0, g_dev.back_tex[i],
                                  0);
        glNamedFramebufferReadBuffer(g_dev.back_read_fbo[i], GL_COLOR_ATTACHMENT0);
    }
    uint32_t err = take_gl_error();
    if (!err && glCheckNamedFramebufferStatus(g_dev.back_read_fbo[0], GL_READ_FRAMEBUFFER) !=
                    GL_FRAMEBUFFER_COMPLETE)
        err = GL_INVALID_FRAMEBUFFER_OPERATION;
    g_dev.back_cur = 0;
    return err;
}

static uint32_t create_zbuffer() {
    clear_gl_errors();
    glCreateRenderbuffers(1, &g_dev.zbuffer);
    glNamedRenderbufferStorage(g_dev.zbuffer, GL_DEPTH24_STENCIL8, d3d_wd, d3d_ht);
    uint32_t err = take_gl_error();
    if (err) {
        glDeleteRenderbuffers(1, &g_dev.zbuffer);
        g_dev.zbuffer = 0;
    }
    return err;
}

// A slot without a fence counts as signalled, so the first frames never wait.
static void create_queries() {
    for (GLsync& f : g_dev.frame_fence) delete_fence(f);
    g_dev.frame_slot = 0;
    g_dev.flush_query = true;
}

static void apply_default_samplers() {
    for (int i = 0; i < MAX_SAMPLERS; ++i) {
        set_texture_filter(i, true);
        set_texture_address(i, 1, 1, 1);
    }
}

// [SECTION] lifetime

static bool create_context(SDL_Window* window, bool accelerated) {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    if (accelerated) SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
    g_dev.context = SDL_GL_CreateContext(window);
    if (!g_dev.context) return false;
    if (SDL_GL_MakeCurrent(window, g_dev.context) != 0 || epoxy_gl_version() < 45) {
        SDL_GL_DeleteContext(g_dev.context);
        g_dev.context = nullptr;
        return false;
    }
    return true;
}

static void apply_default_states() {
    glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    glFrontFace(GL_CCW);
    glCullFace(GL_BACK);
    glEnable(GL_CULL_FACE);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glBlendEquation(GL_FUNC_ADD);
    glDisable(GL_BLEND);
    glDisable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 0, 0xff);
    glStencilMask(0xff);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_PROGRAM_POINT_SIZE);
    color_mask = 0xf;
    zwrite_on = true;
    stencil_write_mask = 0xff;
    g_dev.stencil_mask = 0xff;
    g_dev.stencil_ref = 0;
    g_dev.stencil_func = D3DCMP_ALWAYS;
    const float no_atest[4] = {};
    write_regs(ps_block, g_dev.ps_regs, MAX_PS_CONSTS, no_atest, 1);
}

static void display_size(int& w, int& h) {
    SDL_DisplayMode mode;
    int index = g_dev.window ? SDL_GetWindowDisplayIndex(g_dev.window) : 0;
    if (SDL_GetDesktopDisplayMode(index < 0 ? 0 : index, &mode) == 0) {
        w = mode.w;
        h = mode.h;
    }
}

static void create_postfx_quad() {
    static const float corners[12] = {-1, -1, 0, -1, 1, 0, 1, -1, 0, 1, 1, 0};
    g_dev.postfx_vb = create_vb(sizeof(corners), BUF_STATIC);
    if (void* p = lock_vb(g_dev.postfx_vb, 0, 0)) {
        memcpy(p, corners, sizeof(corners));
        unlock_vb(g_dev.postfx_vb);
    }
    static const VertexElementDesc desc[] = {{0, 0, VSD_FLOAT3, VSD_POSITION, 0}, VSD_END};
    g_dev.postfx_decl = get_vertex_decl(desc);
}

// The window shows the back buffer through a draw of our own rather than a flipping blit:
// a software rasteriser compiles the blit's shaders afresh in every process (35 ms of the
// first frame), while this program's come from its shader cache like any other.
static const char* const PRESENT_VS = R"(#version 450 core
void main() {
    vec2 p = vec2((gl_VertexID << 1) & 2, gl_VertexID & 2);
    gl_Position = vec4(p * 2.0 - 1.0, 0.0, 1.0);
})";
static const char* const PRESENT_FS = R"(#version 450 core
layout(location = 0) uniform vec2 win;
layout(binding = 0) uniform sampler2D back;
out vec4 color;
void main() {
    // Row 0 of the back buffer is the top of the image; the window's row 0 is its bottom.
    color = texture(back, vec2(gl_FragCoord.x / win.x, 1.0 - gl_FragCoord.y / win.y));
})";

static GLuint compile_present_stage(GLenum type, const char* src) {
    GLuint sh = glCreateShader(type);
    glShaderSource(sh, 1, &src, nullptr);
    glCompileShader(sh);
    GLint ok = 0;
    glGetShaderiv(sh, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        glDeleteShader(sh);
        return 0;
    }
    return sh;
}

// Without the program (a driver that refuses it) presenting falls back to the blit.
static void create_present_program() {
    GLuint vs = compile_present_stage(GL_VERTEX_SHADER, PRESENT_VS);
    GLuint fs = compile_present_stage(GL_FRAGMENT_SHADER, PRESENT_FS);
    GLint ok = 0;
    if (vs && fs) {
        g_dev.present_prog = glCreateProgram();
        glAttachShader(g_dev.present_prog, vs);
        glAttachShader(g_dev.present_prog, fs);
        glLinkProgram(g_dev.present_prog);
        glGetProgramiv(g_dev.present_prog, GL_LINK_STATUS, &ok);
    }
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    if (!ok) {
        if (g_dev.present_prog) glDeleteProgram(g_dev.present_prog);
        g_dev.present_prog = 0;
        debug("present program unavailable: presenting by blit");
        return;
    }
    // A unit beyond every stage the layer binds, so presenting disturbs no binding.
    GLint units = 0;
    glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &units);
    g_dev.present_unit = GLuint(units - 1);
    glProgramUniform1i(g_dev.present_prog, glGetUniformLocation(g_dev.present_prog, "back"),
                       GLint(g_dev.present_unit));
    g_dev.present_win_loc = glGetUniformLocation(g_dev.present_prog, "win");
    glCreateVertexArrays(1, &g_dev.present_vao);
    glCreateSamplers(1, &g_dev.present_sampler);
    glSamplerParameteri(g_dev.present_sampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(g_dev.present_sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindSampler(g_dev.present_unit, g_dev.present_sampler);
}

static void release_present_program() {
    if (g_dev.present_prog) glDeleteProgram(g_dev.present_prog);
    if (g_dev.present_vao) glDeleteVertexArrays(1, &g_dev.present_vao);
    if (g_dev.present_sampler) glDeleteSamplers(1, &g_dev.present_sampler);
    g_dev.present_prog = g_dev.present_vao = g_dev.present_sampler = 0;
}

// Draws back buffer `tex` over the whole window of dw x dh and puts back every state the
// draw touched.
static void draw_present(GLuint tex, int dw, int dh, bool scaled) {
    static const GLenum caps[] = {GL_DEPTH_TEST,       GL_STENCIL_TEST, GL_BLEND,
                                  GL_CULL_FACE,        GL_SCISSOR_TEST, GL_RASTERIZER_DISCARD,
                                  GL_FRAMEBUFFER_SRGB, GL_MULTISAMPLE};
    constexpr size_t N = sizeof(caps) / sizeof(caps[0]);
    GLboolean was_on[N];
    for (size_t i = 0; i < N; ++i) {
        was_on[i] = glIsEnabled(caps[i]);
        glDisable(caps[i]);
    }
    GLint viewport[4], vao = 0, poly[2] = {GL_FILL, GL_FILL};
    GLboolean mask[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
    glGetIntegerv(GL_POLYGON_MODE, poly);
    glGetBooleani_v(GL_COLOR_WRITEMASK, 0, mask);

    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glViewport(0, 0, dw, dh);
    glColorMaski(0, GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    const GLint filter = scaled ? GL_LINEAR : GL_NEAREST;
    glSamplerParameteri(g_dev.present_sampler, GL_TEXTURE_MIN_FILTER, filter);
    glSamplerParameteri(g_dev.present_sampler, GL_TEXTURE_MAG_FILTER, filter);
    glBindTextureUnit(g_dev.present_unit, tex);
    glProgramUniform2f(g_dev.present_prog, g_dev.present_win_loc, float(dw), float(dh));
    glUseProgram(g_dev.present_prog);
    glBindVertexArray(g_dev.present_vao);
    glDrawArrays(GL_TRIANGLES, 0, 3);

    glBindVertexArray(GLuint(vao));
    glUseProgram(0); // back to the bound program pipeline
    glBindTextureUnit(g_dev.present_unit, 0);
    glPolygonMode(GL_FRONT_AND_BACK, GLenum(poly[0]));
    glColorMaski(0, mask[0], mask[1], mask[2], mask[3]);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, g_dev.fbo);
    for (size_t i = 0; i < N; ++i)
        if (was_on[i]) glEnable(caps[i]);
}

static char init_failure[512] = "";

// A player whose driver falls short learns what is needed and what the system has: the
// driver's best core profile (Mesa answers a 3.2 request with it), else any context.
static void describe_offered_gl(SDL_Window* window) {
    char reason[256];
    snprintf(reason, sizeof(reason), "%s", SDL_GetError());
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext ctx = SDL_GL_CreateContext(window);
    if (!ctx) {
        SDL_GL_ResetAttributes();
        ctx = SDL_GL_CreateContext(window);
    }
    const char* version = nullptr;
    const char* renderer = nullptr;
    if (ctx && SDL_GL_MakeCurrent(window, ctx) == 0) {
        version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    }
    if (version && renderer)
        snprintf(init_failure, sizeof(init_failure),
                 "Veltmoor needs OpenGL 4.5 (core profile).\n"
                 "This system offers OpenGL %s on %s.",
                 version, renderer);
    else
        snprintf(init_failure, sizeof(init_failure),
                 "Veltmoor needs OpenGL 4.5 (core profile).\n"
                 "This system offers no OpenGL context (%s).",
                 reason);
    if (ctx) SDL_GL_DeleteContext(ctx);
    SDL_GL_ResetAttributes();
}

const char* d3d_init_failure() {
    return init_failure[0] ? init_failure : "the render device could not start";
}

bool init_d3d(SDL_Window* window, int width, int height) {
    close_d3d();
    init_failure[0] = 0;
    if (!window) return false;
    g_dev.window = window;
    if (!create_context(window, true)) {
        debug("failed HARDWARE_VERTEXPROCESSING, trying software one");
        if (!create_context(window, false)) {
            debug("can't create an OpenGL 4.5 core context: %s", SDL_GetError());
            describe_offered_gl(window);
            g_dev.window = nullptr;
            return false;
        }
    }
    if (SDL_GL_SetSwapInterval(app_use_vsync ? 1 : 0) != 0)
        debug("swap interval %d not supported: %s", app_use_vsync ? 1 : 0, SDL_GetError());
    if (width <= 0 || height <= 0) SDL_GL_GetDrawableSize(window, &width, &height);
    if (isFullscreen) display_size(width, height);
    d3d_wd = width;
    d3d_ht = height;
    g_dev.open = true;
    g_dev.reset_pending = false;
    glCreateFramebuffers(1, &g_dev.fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, g_dev.fbo);
    uint32_t err = create_back_buffers(width, height);
    if (!err && !const_blocks_create()) err = GL_OUT_OF_MEMORY;
    if (err) {
        debug("failed to create the back buffer (code 0x%08X)", err);
        snprintf(init_failure, sizeof(init_failure),
                 "Can't create the %dx%d back buffer (code 0x%08X).", width, height, err);
        close_d3d();
        return false;
    }
    if (uint32_t zerr = create_zbuffer()) {
        debug("failed to create scene z-buffer (code 0x%08X)", zerr);
        snprintf(init_failure, sizeof(init_failure),
                 "Can't create the %dx%d scene z-buffer (code 0x%08X).", width, height, zerr);
        close_d3d();
        return false;
    }
    glCreateSamplers(MAX_SAMPLERS, g_dev.samplers);
    for (int i = 0; i < MAX_SAMPLERS; ++i) glBindSampler(GLuint(i), g_dev.samplers[i]);
    apply_default_states();
    create_queries();
    apply_default_samplers();
    bind_backbuffer_as_target0();
    create_postfx_quad();
    create_present_program();
    load_shader_compiler();
    debug("init d3d ok (%dx%d)", d3d_wd, d3d_ht);
    return true;
}

void close_d3d() {
    if (!g_dev.context) return;
    debug("close d3d");
    release_front_buffer_capture();
    for (GLsync& f : g_dev.frame_fence) delete_fence(f);
    g_dev.flush_query = false;
    free_all_meshes(); // meshes hold buffer slots that are about to go
    release_all_texture_slots();
    release_all_buffers();
    g_dev.postfx_vb = nullptr;
    release_vertex_decls();
    g_dev.postfx_decl = nullptr;
    close_shaders();
    release_present_program();
    release_screen_resources();
    const_blocks_destroy();
    if (g_dev.samplers[0]) glDeleteSamplers(MAX_SAMPLERS, g_dev.samplers);
    if (g_dev.fbo) glDeleteFramebuffers(1, &g_dev.fbo);
    SDL_GL_MakeCurrent(g_dev.window, nullptr);
    SDL_GL_DeleteContext(g_dev.context);
    g_dev = DeviceState{};
    target0_is_back = true;
}

void set_vsync(bool on) {
    app_use_vsync = on;
    if (g_dev.open && SDL_GL_SetSwapInterval(on ? 1 : 0) != 0)
        debug("swap interval %d not supported: %s", on ? 1 : 0, SDL_GetError());
}

bool is_d3d_open() {
    return g_dev.open;
}

bool resize_d3d(int width, int height, bool fullscreen, bool force) {
    if (!g_dev.open) return false;
    if (width == 0) width = d3d_wd;
    if (height == 0) height = d3d_ht;
    if (!force && width == d3d_wd && height == d3d_ht && fullscreen == isFullscreen) return true;
    debug("=== resizing d3d to %dx%d %s", width, height, fullscreen ? "fullscreen" : "windowed");

    release_front_buffer_capture();
    release_dynamic_buffers();
    release_default_textures();
    release_screen_resources();
    target0_is_back = false;

    isFullscreen = fullscreen;
    if (fullscreen) display_size(width, height);
    if (uint32_t err = create_back_buffers(width, height)) {
        debug("Reset failed (code 0x%08X)", err);
        release_screen_resources();
        g_dev.reset_pending = true;
        return false;
    }
    g_dev.reset_pending = false;
    d3d_wd = width;
    d3d_ht = height;
    recreate_default_textures();
    recreate_dynamic_buffers();
    if (uint32_t err = create_zbuffer()) {
        debug("failed to recreate scene RT (code 0x%08X)", err);
        g_dev.reset_pending = true;
        return false;
    }
    create_queries();
    apply_default_samplers();
    bind_backbuffer_as_target0();
    debug("resized d3d to %dx%d %s", d3d_wd, d3d_ht, fullscreen ? "fullscreen" : "windowed");
    ++d3d_reset_count;
    if (on_d3d_resized) on_d3d_resized();
    return true;
}

bool check_d3d_device() {
    if (!g_dev.open) return false;
    if (glGetGraphicsResetStatus() != GL_NO_ERROR) return false;
    if (g_dev.reset_pending) return resize_d3d(d3d_wd, d3d_ht, isFullscreen, true);
    return true;
}

// [SECTION] frame and present

bool begin_d3d_scene() {
    return g_dev.open && !g_dev.reset_pending;
}

void end_d3d_scene() {}

bool render_d3d_frame(float dt) {
    if (!g_dev.open || g_dev.reset_pending) return false;
    GLsync& fence = g_dev.frame_fence[g_dev.frame_slot];
    if (d3d_limit_buffered_frames && fence) {
        GLenum r = glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, 0);
        if (r == GL_TIMEOUT_EXPIRED || r == GL_WAIT_FAILED) return false;
    }
    if (!begin_d3d_scene()) return false;
    set_cull_mode(1);
    if (on_d3d_render_frame) on_d3d_render_frame(dt);
    end_d3d_scene();
    delete_fence(fence);
    fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    g_dev.frame_slot ^= 1;
    return true;
}

void present_d3d() {
    if (!g_dev.open || g_dev.reset_pending) return;
    int dw = d3d_wd, dh = d3d_ht;
    SDL_GL_GetDrawableSize(g_dev.window, &dw, &dh);
    const bool scaled = dw != d3d_wd || dh != d3d_ht;
    if (g_dev.present_prog)
        draw_present(g_dev.back_tex[g_dev.back_cur], dw, dh, scaled);
    else // row 0 of the back buffer is the top of the image; the window's is its bottom
        glBlitNamedFramebuffer(g_dev.back_read_fbo[g_dev.back_cur], 0, 0, 0, d3d_wd, d3d_ht, 0, dh,
                               dw, 0, GL_COLOR_BUFFER_BIT, scaled ? GL_LINEAR : GL_NEAREST);
    SDL_GL_SwapWindow(g_dev.window);
    // The shown image stays intact for capture; drawing continues in the other buffer.
    g_dev.back_shown = g_dev.back_cur;
    g_dev.back_cur ^= 1;
    if (target0_is_back) attach_color(0, g_dev.back_tex[g_dev.back_cur]);
}

// [SECTION] views and transforms

static void clear_target(GLbitfield bits, D3dColor color) {
    if (bits & GL_COLOR_BUFFER_BIT) {
        glClearColor(float((color >> 16) & 255) / 255.0f, float((color >> 8) & 255) / 255.0f,
                     float(color & 255) / 255.0f, float(color >> 24) / 255.0f);
        glColorMaski(0, GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    }
    if (bits & GL_DEPTH_BUFFER_BIT) {
        glClearDepth(1.0);
        glDepthMask(GL_TRUE);
    }
    if (bits & GL_STENCIL_BUFFER_BIT) {
        glClearStencil(0);
        glStencilMask(0xff);
    }
    // Any bound depth-stencil is cleared as a whole, whatever the viewport.
    glClear(bits);
    glColorMaski(0, color_mask & 1, (color_mask >> 1) & 1, (color_mask >> 2) & 1,
                 (color_mask >> 3) & 1);
    glDepthMask(zwrite_on);
    glStencilMask(GLuint(stencil_write_mask));
}

void clear_view(D3dColor color) {
    if (!g_dev.open) return;
    clear_target(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT, color);
}

void clear_view_color(D3dColor color) {
    if (g_dev.open) clear_target(GL_COLOR_BUFFER_BIT, color);
}

void clear_view_z() {
    if (g_dev.open) clear_target(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT, 0);
}

void set_viewport(int x, int y, int width, int height) {
    if (g_dev.open) apply_viewport(x, y, width, height);
}

void set_view_tm(const Matrix44& tm) {
    view_tm = tm;
}
void set_proj_tm(const Matrix44& tm) {
    proj_tm = tm;
}

void set_proj_tm(float fov_y, float aspect, float znear, float zfar) {
    float s = 1.0f / tanf(fov_y * 0.5f);
    float q = zfar / (zfar - znear);
    Matrix44 m = {};
    m.m[0][0] = s / aspect;
    m.m[1][1] = s;
    m.m[2][2] = q;
    m.m[2][3] = 1.0f;
    m.m[3][2] = -znear * q;
    proj_tm = m;
}

Matrix44 mul_tm(const Matrix44& a, const Matrix44& b) {
    Matrix44 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                        a.m[i][3] * b.m[3][j];
    return r;
}

void get_glob_tm(Matrix44& out) {
    out = mul_tm(view_tm, proj_tm);
}

// [SECTION] render targets

void set_render_target(Texture* tex, int index, bool use_zbuffer) {
    if (!g_dev.open || index < 0 || index >= MAX_COLOR_TARGETS) return;
    attach_color(index, tex ? texture_gl_name(tex) : 0);
    if (index != 0) return;
    target0_is_back = false;
    attach_depth(use_zbuffer && g_dev.zbuffer);
    if (tex) apply_viewport(0, 0, texture_width(tex), texture_height(tex));
}

void set_backbuffer_target() {
    if (!g_dev.open) return;
    bind_backbuffer_as_target0();
    attach_depth(false);
}

bool copy_to_backbuffer(const Texture* src) {
    if (!g_dev.open || !src || !src->gl_tex || src->format != D3DFMT_A8R8G8B8 ||
        texture_width(src) != d3d_wd || texture_height(src) != d3d_ht)
        return false;
    glCopyImageSubData(src->gl_tex, GL_TEXTURE_2D, 0, 0, 0, 0, g_dev.back_tex[g_dev.back_cur],
                       GL_TEXTURE_2D, 0, 0, 0, 0, d3d_wd, d3d_ht, 1);
    return true;
}

void draw_postfx() {
    if (!g_dev.open || !g_dev.postfx_vb) return;
    set_vertex_decl(g_dev.postfx_decl);
    set_vb(0, g_dev.postfx_vb, 0, 12);
    draw_prim(PRIM_TRIANGLESTRIP, 0, 2);
    set_vb(0, nullptr, 0, 0);
}

// [SECTION] render states and samplers

static void set_blend(GLenum src, GLenum dst) {
    glEnable(GL_BLEND);
    glBlendFunc(src, dst);
}

void set_blend_none() {
    glDisable(GL_BLEND);
}
void set_blend_additive() {
    set_blend(GL_ONE, GL_ONE);
}
void set_blend_smooth_add() {
    set_blend(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
}
void set_blend_alpha() {
    set_blend(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}
void set_blend_prealpha() {
    set_blend(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
}
void set_blend_multiply() {
    set_blend(GL_DST_COLOR, GL_ZERO);
}

void set_atest(int ref) {
    float at[4];
    memcpy(at, g_dev.ps_regs + MAX_PS_CONSTS * 4, sizeof(at));
    at[0] = ref < 1 ? 0.0f : 1.0f;
    if (ref >= 1) at[1] = float(ref);
    write_regs(ps_block, g_dev.ps_regs, MAX_PS_CONSTS, at, 1);
}

void set_cull_mode(int ccw) {
    if (ccw)
        glEnable(GL_CULL_FACE);
    else
        glDisable(GL_CULL_FACE);
}

void set_zenable(bool on) {
    if (on)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
}

void set_zwrite(bool on) {
    zwrite_on = on;
    glDepthMask(on ? GL_TRUE : GL_FALSE);
}

void set_color_write_mask(int mask) {
    color_mask = mask & 0xf;
    glColorMaski(0, mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
}

void set_wireframe(bool on) {
    glPolygonMode(GL_FRONT_AND_BACK, on ? GL_LINE : GL_FILL);
}

static GLenum gl_compare(int func) {
    static const GLenum map[8] = {GL_NEVER,   GL_LESS,     GL_EQUAL,  GL_LEQUAL,
                                  GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return func >= 1 && func <= 8 ? map[func - 1] : GL_ALWAYS;
}

void set_stencil_test(int mask, int ref, int func) {
    if (mask == 0) {
        glDisable(GL_STENCIL_TEST);
        return;
    }
    g_dev.stencil_mask = mask;
    g_dev.stencil_ref = ref;
    g_dev.stencil_func = func;
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(gl_compare(func), ref, GLuint(mask));
}

void set_stencil_replace_bits(int bits) {
    stencil_write_mask = bits;
    glStencilMask(GLuint(bits));
    glStencilOp(GL_KEEP, GL_KEEP, bits ? GL_REPLACE : GL_KEEP);
}

void set_texture_filter(int stage, bool linear) {
    if (stage < 0 || stage >= MAX_SAMPLERS || !g_dev.samplers[stage]) return;
    GLuint s = g_dev.samplers[stage];
    glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, linear ? GL_LINEAR : GL_NEAREST);
    glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER,
                        linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST);
}

static GLint gl_address(int code) {
    if (code == 0) return GL_REPEAT;
    if (code == 2) return GL_CLAMP_TO_BORDER;
    return GL_CLAMP_TO_EDGE;
}

void set_texture_address(int stage, int u, int v, int w) {
    if (stage < 0 || stage >= MAX_SAMPLERS || !g_dev.samplers[stage]) return;
    if (v < 0) v = u;
    if (w < 0) w = v;
    GLuint s = g_dev.samplers[stage];
    glSamplerParameteri(s, GL_TEXTURE_WRAP_S, gl_address(u));
    glSamplerParameteri(s, GL_TEXTURE_WRAP_T, gl_address(v));
    glSamplerParameteri(s, GL_TEXTURE_WRAP_R, gl_address(w));
}

// [SECTION] draws

static bool prepare_draw(int prim_type, int prim_count, bool indexed, const char* op) {
    if (gl_prim_mode(prim_type) < 0 || prim_count < 0)
        fatal("%s failed (code 0x%08X)", op, D3DERR_INVALIDCALL);
    if (!g_dev.open || g_dev.reset_pending || prim_count == 0 || !g_dev.pipeline) return false;
    if (!g_dev.decl) fatal("%s failed (code 0x%08X)", op, D3DERR_INVALIDCALL);
    if (!vdecl_bind_inputs(indexed)) return false;
    upload_constants();
    return true;
}

void draw_indexed(int prim_type, int base_vertex, int min_index, int num_verts, int start_index,
                  int prim_count) {
    if (!prepare_draw(prim_type, prim_count, true, "draw_indexed")) return;
    GLenum mode = GLenum(gl_prim_mode(prim_type));
    GLsizei count = prim_vertex_count(prim_type, prim_count);
    const void* offset = reinterpret_cast<const void*>(intptr_t(start_index) * 2);
    if (g_dev.instance_count > 0) {
        glDrawElementsInstancedBaseVertex(mode, count, GL_UNSIGNED_SHORT, offset,
                                          g_dev.instance_count, base_vertex);
    } else {
        GLuint last = GLuint(min_index + (num_verts > 0 ? num_verts - 1 : 0));
        glDrawRangeElementsBaseVertex(mode, GLuint(min_index), last, count, GL_UNSIGNED_SHORT,
                                      offset, base_vertex);
    }
}

void draw_prim(int prim_type, int start_vertex, int prim_count) {
    if (!prepare_draw(prim_type, prim_count, false, "draw_prim")) return;
    glDrawArrays(GLenum(gl_prim_mode(prim_type)), start_vertex,
                 prim_vertex_count(prim_type, prim_count));
}

void set_instancing(int count) {
    g_dev.instance_count = count > 0 ? count : 0;
}

// [SECTION] utilities

void flush_gpu() {
    ASSERT_TEXT(g_dev.flush_query, "flush_query");
    GLsync f = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    wait_fence(f);
}

// GL_NVX_gpu_memory_info or GL_ATI_meminfo where the driver has them; otherwise
// (Mesa) an estimate: a 1 GiB budget less what this layer has allocated for textures.
unsigned get_free_texmem() {
    ASSERT_TEXT(g_dev.open, "d3d");
    int64_t bytes = -1;
    if (epoxy_has_gl_extension("GL_NVX_gpu_memory_info")) {
        GLint kb = 0;
        glGetIntegerv(GL_GPU_MEMORY_INFO_CURRENT_AVAILABLE_VIDMEM_NVX, &kb);
        bytes = int64_t(kb) * 1024;
    } else if (epoxy_has_gl_extension("GL_ATI_meminfo")) {
        GLint info[4] = {};
        glGetIntegerv(GL_TEXTURE_FREE_MEMORY_ATI, info);
        bytes = int64_t(info[0]) * 1024;
    } else {
        int64_t screen = int64_t(d3d_wd) * d3d_ht * 12; // two back buffers and the z-buffer
        bytes = (int64_t(1) << 30) - texture_bytes_in_use() - screen;
    }
    if (bytes < 0) bytes = 0;
    return bytes > 0xffffffffll ? 0xffffffffu : unsigned(bytes);
}

void* capture_front_buffer(int& width, int& height, int& pitch) {
    release_front_buffer_capture();
    if (!g_dev.open || g_dev.back_shown < 0 || g_dev.reset_pending) return nullptr;
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(g_dev.window, &wx, &wy);
    SDL_Rect disp = {0, 0, d3d_wd, d3d_ht};
    int index = SDL_GetWindowDisplayIndex(g_dev.window);
    if (SDL_GetDisplayBounds(index < 0 ? 0 : index, &disp) != 0) return nullptr;
    int x0 = wx, y0 = wy, x1 = wx + d3d_wd, y1 = wy + d3d_ht;
    if (x0 < disp.x) x0 = disp.x;
    if (y0 < disp.y) y0 = disp.y;
    if (x1 > disp.x + disp.w) x1 = disp.x + disp.w;
    if (y1 > disp.y + disp.h) y1 = disp.y + disp.h;
    if (x1 <= x0 || y1 <= y0) return nullptr;
    width = x1 - x0;
    height = y1 - y0;
    pitch = width * 4;
    size_t size = size_t(pitch) * size_t(height);
    capture_mem = malloc(size);
    if (!capture_mem) return nullptr;
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTextureSubImage(g_dev.back_tex[g_dev.back_shown], 0, x0 - wx, y0 - wy, 0, width, height, 1,
                         GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, GLsizei(size), capture_mem);
    return capture_mem;
}

void release_front_buffer_capture() {
    free(capture_mem);
    capture_mem = nullptr;
}
