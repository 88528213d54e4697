// The frame's scene passes: the forward (low quality) path into the scene image, and the
// copy of the scene image to the back buffer.
#pragma once

#include "core/vec4f.h"
#include "render/d3d_types.h"

struct Texture;

extern Texture* scene_tex; // the finished scene image of every path
extern Texture *rt_a, *rt_b, *rt_c, *rt_d;

extern bool use_fog, use_postfx, use_ppaa, use_obj_shadows, use_wireframe;
extern vec4f postfx_frame_color; // the mode's frame colour, pixel c1 of the final copy

// What the game-object module and the effects draw inside the scene; no-ops until set.
extern void (*scene_render_actor)(float since_step);
extern void (*scene_render_debug_vis)(float since_step);
extern void (*scene_render_common_fx)(float since_step, float t);
// Called after each pass of the frame with its name (a no-op until set): a profiler waits
// for the GPU there to see where the pixels' time goes.
extern void (*scene_pass_done)(const char* pass);
// The start-up splash; null shows nothing.
extern void (*scene_show_splash)(const char* text, float progress);

constexpr D3dColor WIREFRAME_CLEAR = 0xFFB4B4B4u;
constexpr float SCENE_DEPTH_SCALE = 512.0f; // the far plane; G-buffer depth is view z / 512

void init_scene_tex(); // fatal "can't create scene image texture"
void close_scene_tex();
void init_postfx();
void close_postfx();

// After the camera, view x projection in vertex c0..c3, the camera in c4, update_sky
// and HeightmapRenderer::frameUpdate.
void render_scene_low(float since_step, float t);
void apply_postfx();

// Vertex c6: the view matrix's depth column / 512 (linear view depth / 512 of a point).
void set_depth_column();
// Vertex c17..c19: view rays from clip x, y scaled so that depth / 512 gives the point.
void set_view_ray_consts(const Matrix44& cam, const Matrix44& glob_tm);
