// Debug visualisation: coloured lines and triangles in world space through the common
// writer, with the camera's view x projection.
#pragma once

#include "platform/game_export.h"

#include "core/vec4f.h"
#include "render/d3d_types.h"

struct DebugVisVertex {
    float x, y, z;
    D3dColor color;
};

void init_debug_vis();
void close_debug_vis();
GAME_EXPORT void start_draw_debug_vis(); // uploads get_glob_tm() to vertex registers 0..3
GAME_EXPORT void end_draw_debug_vis();

// Positions are 4-float vectors; w is ignored.
GAME_EXPORT void draw_debug_vis_tri(const vec4f& a, const vec4f& b, const vec4f& c, D3dColor ca,
                                    D3dColor cb, D3dColor cc);
GAME_EXPORT void draw_debug_vis_line(const vec4f& a, const vec4f& b, D3dColor ca, D3dColor cb);
GAME_EXPORT void draw_debug_vis_solid_box(const vec4f& a, const vec4f& b, D3dColor color,
                                          float expand);
GAME_EXPORT void draw_debug_vis_cube(const vec4f& centre, float half_size, D3dColor color);
GAME_EXPORT void draw_debug_vis_wire_box(const vec4f& a, const vec4f& b, D3dColor color);
GAME_EXPORT void draw_debug_vis_cross_point(const vec4f& p, float size, D3dColor color);
