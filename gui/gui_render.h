// The GUI's drawing primitives: rounded boxes with soft shadows and textured images, added
// to render batches in screen pixels (origin top-left, y down, as distance-field text).
#pragma once

#include "core/vec4f.h"
#include "platform/game_export.h"
#include "render/d3d_types.h"
#include "render/overlay/render_batch.h"

#include <cstdint>

struct RoundedBoxVertex {
    int16_t x, y;         // quad corner
    int16_t cx, cy, w, h; // box centre and size
    uint32_t radii;       // corner radii 0..255 packed as a colour (0 red .. 3 alpha)
    D3dColor color;       // box
    D3dColor shadowColor; //
    uint32_t params;      // shadow x, y, blur (+ 127.5 each) and softness, packed
    float shadowSpread;   // negative: no shadow
};
static_assert(sizeof(RoundedBoxVertex) == 32);

struct UiImageVertex {
    float x, y;
    D3dColor color;
    float u, v;
};
static_assert(sizeof(UiImageVertex) == 20);

GAME_EXPORT extern RenderBatch gui_batch; // the module draws its screens into it

GAME_EXPORT void init_rounded_box_render(); // "roundedBox.sh" and its declaration
// radii: top-left, top-right, bottom-right, bottom-left. softness: width of the edge's
// ramp in pixels (1 or less: plain anti-aliasing). A shadow spread below 0 draws no shadow.
GAME_EXPORT void render_rounded_box(RenderBatch& batch, const vec4f& rect, const vec4f& radii,
                                    D3dColor color, float softness, float shadow_x, float shadow_y,
                                    float shadow_blur, D3dColor shadow_color, float shadow_spread);
GAME_EXPORT void init_ui_image_render(); // "uiImage.sh" and its declaration
GAME_EXPORT void init_ui_image_state(StdRenderBatchState& state, struct Texture* tex);
// tex_rect: u0, v0, u1, v1 for the corners (x0, y0) and (x1, y1).
GAME_EXPORT void render_ui_image(RenderBatch& batch, BaseRenderBatchState* state, const vec4f& rect,
                                 D3dColor color, const vec4f& tex_rect);
// Draws and empties gui_batch with the screen transform and premultiplied blending.
GAME_EXPORT void render_gui_batch();
void close_gui_render();

// The packed words of a rounded-box vertex, exposed for tests.
uint32_t pack_box_radii(const vec4f& radii);
uint32_t pack_box_params(float shadow_x, float shadow_y, float shadow_blur, float softness);
