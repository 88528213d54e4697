// State shared by the files of the device layer (not for code above it).
#pragma once

#include "render/d3d_types.h"

#include <SDL.h>
#include <cstdint>
#include <epoxy/gl.h>

struct VertexDecl;
struct Texture;
struct GpuBuffer;

enum { MAX_SAMPLERS = 16, MAX_TEXTURE_STAGES = 32, MAX_COLOR_TARGETS = 4 };

// Register layout of the two constant blocks: the caller's registers, then one register
// the device owns (vertex: half-pixel fix-up; pixel: alpha test).
enum { VS_BLOCK_REGS = 257, PS_BLOCK_REGS = 225 };

struct DeviceState {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    bool open = false;
    bool reset_pending = false; // a reset failed: default-pool resources are missing

    GLuint fbo = 0; // every draw goes through this framebuffer
    GLuint back_tex[2] = {0, 0};
    GLuint back_read_fbo[2] = {0, 0};
    int back_cur = 0;    // the back buffer being drawn
    int back_shown = -1; // the back buffer last presented, or -1
    GLuint zbuffer = 0;  // D24S8 renderbuffer of d3d_wd x d3d_ht
    GLuint color_att[MAX_COLOR_TARGETS] = {};
    int color_att_w = 0, color_att_h = 0;
    GLuint depth_att = 0;

    GLsync frame_fence[2] = {nullptr, nullptr};
    int frame_slot = 0;
    bool flush_query = false;

    alignas(16) float vs_regs[VS_BLOCK_REGS * 4] = {};
    alignas(16) float ps_regs[PS_BLOCK_REGS * 4] = {};

    GLuint samplers[MAX_SAMPLERS] = {};

    // Current bindings.
    GLuint pipeline = 0;
    int input_layout = -1; // of the current vertex program
    VertexDecl* decl = nullptr;
    GLuint stream_buf[16] = {};
    GLintptr stream_off[16] = {};
    GLsizei stream_stride[16] = {};
    GLuint index_buf = 0;
    int instance_count = 0;

    // Bumped whenever a buffer is deleted: GL may hand its name out again.
    uint32_t object_epoch = 1;

    int stencil_mask = 0xff, stencil_ref = 0, stencil_func = D3DCMP_ALWAYS;

    GpuBuffer* postfx_vb = nullptr;
    VertexDecl* postfx_decl = nullptr;

    // Present: the back buffer drawn upside down into the window (0 program: a blit).
    GLuint present_prog = 0, present_vao = 0, present_sampler = 0;
    GLuint present_unit = 0;
    GLint present_win_loc = -1;
};

extern DeviceState g_dev;

// vertex_decl.cpp: per draw, binds the vertex array for the current declaration and
// vertex program, with the current streams and index buffer.
bool vdecl_bind_inputs(bool indexed);
// Registers the input signature of a vertex program: one entry per attribute location,
// (usage code << 8 | usage index) + 1, 0 for none. Returns the layout id.
int vdecl_register_layout(const uint16_t sig[16]);
uint32_t vdecl_layout_generation();
// Vertex inputs are named by usage and index: POSITION, NORMAL, COLOR, TEXCOORD, TANGENT,
// each optionally followed by its index (TEXCOORD1). Returns usage << 8 | index, or -1.
int vdecl_input_code(const char* name);
void vdecl_release_vertex_arrays();

// textures.cpp
int64_t texture_bytes_in_use();
void* lock_texture_level(Texture* tex, int level, int& pitch, bool discard);
void unlock_texture_level(Texture* tex);
GLuint texture_gl_name(Texture* tex);

// shaders.cpp
void load_shader_compiler();
void close_shaders();

// device.cpp: detaches a texture about to be deleted from the draw framebuffer.
void dev_forget_texture(GLuint tex);
// device.cpp: GL error codes as the layer logs them.
void clear_gl_errors();
uint32_t take_gl_error(); // 0 when none
int gl_prim_mode(int prim_type);
