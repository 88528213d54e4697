// The high-quality frame: a G-buffer of land, water and objects lit in screen space with
// the sun, the sky table and object shadows, the horizon ring, the sky, and fog.
#pragma once

#include "render/d3d_types.h"
#include "scene/scene_render.h"

struct Shader;

// The module's shadow casters (render_actor_shadow); a no-op until set.
extern void (*scene_render_actor_shadow)(float since_step);

// Full-screen passes of the last render_scene_high (shadow mask, lighting with fog).
extern int scene_high_fullscreen_passes;

// "dr_calc_light.sh"; the game loads it at start-up on the high path.
void init_deferred_shaders();
void close_deferred_shaders();

// After the camera (set_scene_camera), view x projection in vertex c0..c3, the camera in
// c4, update_sky and HeightmapRenderer::frameUpdate; ends with the scene in scene_tex.
void render_scene_high(float since_step, float t);

// The screen passes of the frame, for tests on synthetic G-buffers: stages 8..10 = rt_a,
// rt_b, rt_c; the shadow mask into rt_d; the lit colour with fog (use_fog) into scene_tex.
void bind_gbuffer_stages();
void render_shadow_mask(float since_step);
// The land's colours, detail and aperture come from HeightmapRenderer's maps (stages 0, 2,
// 3 and 4) where the G-buffer's albedo is all zero.
void render_deferred_light();
