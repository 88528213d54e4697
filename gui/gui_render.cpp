#include "gui/gui_render.h"

#include "render/overlay/dist_font.h"
#include "render/shaders.h"
#include "render/vertex_decl.h"

#include <cmath>

RenderBatch gui_batch;

namespace {
StdRenderBatchState box_state;
Shader* image_shader = nullptr;
VertexDecl* image_decl = nullptr;

const VertexElementDesc BOX_VSD[] = {
    {0, 0, VSD_SHORT2, VSD_POSITION, 0},   {4, 0, VSD_SHORT4, VSD_TEXCOORD, 0},
    {12, 0, VSD_COLOR32, VSD_TEXCOORD, 1}, {16, 0, VSD_COLOR32, VSD_COLOR, 0},
    {20, 0, VSD_COLOR32, VSD_COLOR, 1},    {24, 0, VSD_COLOR32, VSD_TEXCOORD, 2},
    {28, 0, VSD_FLOAT1, VSD_TEXCOORD, 3},  VSD_END};

const VertexElementDesc IMAGE_VSD[] = {{0, 0, VSD_FLOAT2, VSD_POSITION, 0},
                                       {8, 0, VSD_COLOR32, VSD_COLOR, 0},
                                       {12, 0, VSD_FLOAT2, VSD_TEXCOORD, 0},
                                       VSD_END};

// Rounding half away from zero, as lroundf, without the library call (hot per box).
uint32_t byte_of(float v) {
    if (!(v > 0)) return 0; // NaN too
    return v >= 255.0f ? 255u : uint32_t(v + 0.5f);
}

int16_t short_of(float v) {
    if (!(v > -32768.0f)) return -32768;
    if (v >= 32767.0f) return 32767;
    return int16_t(v >= 0 ? int(v + 0.5f) : -int(0.5f - v));
}

// Corners 0 (x0, y0), 1 (x1, y0), 2 (x1, y1), 3 (x0, y1) as triangles 0-1-2 and 0-2-3.
const int QUAD_CORNERS[6] = {0, 1, 2, 0, 2, 3};
} // namespace

uint32_t pack_box_radii(const vec4f& r) {
    return byte_of(r.w) << 24 | byte_of(r.x) << 16 | byte_of(r.y) << 8 | byte_of(r.z);
}

uint32_t pack_box_params(float shadow_x, float shadow_y, float shadow_blur, float softness) {
    return byte_of(softness) << 24 | byte_of(shadow_x + 127.5f) << 16 |
           byte_of(shadow_y + 127.5f) << 8 | byte_of(shadow_blur + 127.5f);
}

void init_rounded_box_render() {
    if (!box_state.shader) box_state.shader = get_shader("roundedBox.sh");
    box_state.vdecl = get_vertex_decl(BOX_VSD);
    box_state.stride = int(sizeof(RoundedBoxVertex));
    box_state.texture = nullptr;
}

void init_ui_image_render() {
    if (!image_shader) image_shader = get_shader("uiImage.sh");
    image_decl = get_vertex_decl(IMAGE_VSD);
}

void init_ui_image_state(StdRenderBatchState& state, Texture* tex) {
    state.shader = image_shader;
    state.vdecl = image_decl;
    state.stride = int(sizeof(UiImageVertex));
    state.texture = tex;
}

void close_gui_render() {
    gui_batch.clear();
    if (box_state.shader) release_shader(box_state.shader);
    if (image_shader) release_shader(image_shader);
    box_state.reset();
    image_shader = nullptr;
    image_decl = nullptr;
}

void render_rounded_box(RenderBatch& batch, const vec4f& rect, const vec4f& radii, D3dColor color,
                        float softness, float shadow_x, float shadow_y, float shadow_blur,
                        D3dColor shadow_color, float shadow_spread) {
    float grow = softness > 0.5f ? softness : 0.5f;
    vec4f q = make4f(rect.x - grow, rect.y - grow, rect.z + grow, rect.w + grow);
    if (shadow_spread >= 0) {
        float g = shadow_blur + shadow_spread;
        q.x = fminf(q.x, rect.x + shadow_x - g);
        q.y = fminf(q.y, rect.y + shadow_y - g);
        q.z = fmaxf(q.z, rect.z + shadow_x + g);
        q.w = fmaxf(q.w, rect.w + shadow_y + g);
    }
    RoundedBoxVertex v;
    v.cx = short_of((rect.x + rect.z) * 0.5f);
    v.cy = short_of((rect.y + rect.w) * 0.5f);
    v.w = short_of(rect.z - rect.x);
    v.h = short_of(rect.w - rect.y);
    v.radii = pack_box_radii(radii);
    v.color = color;
    v.shadowColor = shadow_color;
    v.params = pack_box_params(shadow_x, shadow_y, shadow_blur, softness);
    v.shadowSpread = shadow_spread;
    const int16_t xs[2] = {short_of(q.x), short_of(q.z)}, ys[2] = {short_of(q.y), short_of(q.w)};
    const int cx[4] = {0, 1, 1, 0}, cy[4] = {0, 0, 1, 1};
    auto* out = static_cast<RoundedBoxVertex*>(
        batch.add(&box_state, q, 6 * int(sizeof(RoundedBoxVertex)), 2));
    for (int i = 0; i < 6; ++i) {
        v.x = xs[cx[QUAD_CORNERS[i]]];
        v.y = ys[cy[QUAD_CORNERS[i]]];
        out[i] = v;
    }
}

void render_ui_image(RenderBatch& batch, BaseRenderBatchState* state, const vec4f& rect,
                     D3dColor color, const vec4f& tex_rect) {
    const float xs[2] = {rect.x, rect.z}, ys[2] = {rect.y, rect.w};
    const float us[2] = {tex_rect.x, tex_rect.z}, vs[2] = {tex_rect.y, tex_rect.w};
    const int cx[4] = {0, 1, 1, 0}, cy[4] = {0, 0, 1, 1};
    auto* out =
        static_cast<UiImageVertex*>(batch.add(state, rect, 6 * int(sizeof(UiImageVertex)), 2));
    for (int i = 0; i < 6; ++i) {
        int c = QUAD_CORNERS[i];
        out[i] = UiImageVertex{xs[cx[c]], ys[cy[c]], color, us[cx[c]], vs[cy[c]]};
    }
}

void render_gui_batch() {
    start_dist_font_render();
    gui_batch.render();
    gui_batch.clear();
    end_dist_font_render();
}
