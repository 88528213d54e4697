// The render device: one OpenGL 4.5 core context that behaves like a Direct3D 9 device
// (upper-left origin, depth 0..1, top-down render targets, clockwise front faces,
// Direct3D pixel centres, global constant registers, sampler stages).
// Free functions over module state; main thread only.
#pragma once

#include "platform/game_export.h"

#include "render/d3d_types.h"

#include <SDL.h>

struct Texture;

GAME_EXPORT extern int d3d_wd, d3d_ht; // back-buffer size in pixels
extern int d3d_reset_count;            // completed resizes and resets: render targets lost
GAME_EXPORT extern bool app_use_vsync; // default true
extern bool d3d_limit_buffered_frames; // default true: at most two frames queued
GAME_EXPORT extern bool isFullscreen;  // owned by the window layer (platform/input.cpp)

// Device lifetime and frame.
bool init_d3d(SDL_Window* window, int width, int height); // 0 x 0: the window's size
// Why the last init_d3d failed, for a player: what is needed and what the system offers.
const char* d3d_init_failure();
void close_d3d();
bool resize_d3d(int width, int height, bool fullscreen, bool force);
bool render_d3d_frame(float dt); // true: a frame was rendered and must be presented
void present_d3d();
bool check_d3d_device(); // after a frame that was not rendered
bool begin_d3d_scene();
void end_d3d_scene();
bool is_d3d_open();
GAME_EXPORT void set_vsync(bool on); // app_use_vsync, applied at once when the device is open

// Views and transforms.
void clear_view(D3dColor color); // colour, depth 1, stencil 0 of the whole target
void clear_view_color(D3dColor color);
void clear_view_z();
void set_viewport(int x, int y, int width, int height); // y counts from the top
void set_view_tm(const Matrix44& tm);
void set_proj_tm(const Matrix44& tm);
void set_proj_tm(float fov_y, float aspect, float znear, float zfar); // left-handed, depth 0..1
void get_glob_tm(Matrix44& out);                                      // view x projection
Matrix44 mul_tm(const Matrix44& a, const Matrix44& b);

// Render targets. Binding target 0 resets the viewport to the target's size, as Direct3D does.
void set_render_target(Texture* tex, int index, bool use_zbuffer);
void set_backbuffer_target();
void draw_postfx(); // full-screen quad, clip-space corners, position-only stream
// A screen-sized A8R8G8B8 target into the back buffer as it stands, alpha included, without
// a draw; false (nothing copied) for any other texture.
bool copy_to_backbuffer(const Texture* src);

// Render states: each sets exactly its own states.
void set_blend_none();
void set_blend_additive();
void set_blend_smooth_add();
void set_blend_alpha();
void set_blend_prealpha();
void set_blend_multiply();
void set_atest(int ref); // ref < 1: off; else alpha >= ref passes
void set_cull_mode(int ccw);
void set_zenable(bool on);
void set_zwrite(bool on);
void set_color_write_mask(int mask); // bit 0 red .. bit 3 alpha
void set_wireframe(bool on);
void set_stencil_test(int mask, int ref, int func); // mask 0: off (ref and func kept)
void set_stencil_replace_bits(int bits);

// Samplers (stages 0..15).
void set_texture_filter(int stage, bool linear);
void set_texture_address(int stage, int u, int v = -1, int w = -1); // 0 wrap, 1 clamp, 2 border

// Constant registers: vertex c0..c255, pixel c0..c223, kept across shader changes.
enum { MAX_VS_CONSTS = 256, MAX_PS_CONSTS = 224 };
void set_vs_consts(int first, const float* data, int count);
void set_ps_consts(int first, const float* data, int count);

// Drawing.
void draw_indexed(int prim_type, int base_vertex, int min_index, int num_verts, int start_index,
                  int prim_count);
void draw_prim(int prim_type, int start_vertex, int prim_count);
void set_instancing(int count); // > 0: stream 0 per vertex, stream 1 per instance

// Utilities.
void flush_gpu();
unsigned get_free_texmem(); // bytes (see device.cpp for where the figure comes from)
void* capture_front_buffer(int& width, int& height, int& pitch); // 32-bit ARGB, or null
void release_front_buffer_capture();

// Hook the scene pipeline sets to recreate its screen-sized targets after a resize.
extern void (*on_d3d_resized)();
// The program's frame, drawn between begin and end of scene; none: an empty frame.
extern void (*on_d3d_render_frame)(float time_ahead);
