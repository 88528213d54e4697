// The camera the scene renderers draw from this frame, set by the game before the scene
// passes run (rows right, up, forward, position: the inverse of the view matrix).
#pragma once

#include "core/vec4f.h"
#include "render/d3d_types.h"

extern Matrix44 scene_view_itm;

void set_scene_camera(const Matrix44& view_itm);
inline vec4f scene_camera_pos() {
    return make4f(scene_view_itm.m[3][0], scene_view_itm.m[3][1], scene_view_itm.m[3][2], 1.0f);
}
