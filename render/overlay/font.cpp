#include "render/overlay/font.h"

#include "platform/dyn_array.h"
#include "platform/file_stream.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/tga.h"
#include "render/buffers.h"
#include "render/device.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/overlay/render_batch.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "render/vertex_decl.h"

#include <cstring>

namespace {
FontGlyph glyphs[256];
int cell_ht = 8;
int font_scale = 1;
Texture* font_tex = nullptr;
VertexDecl* font_decl = nullptr;
Shader* font_shader = nullptr;
FontBatchState font_state;
DynArray<int> font_stack;

const VertexElementDesc FONT_VSD[] = {{0, 0, VSD_SHORT2, VSD_POSITION, 0},
                                      {4, 0, VSD_COLOR32, VSD_COLOR, 0},
                                      {8, 0, VSD_SHORT2, VSD_TEXCOORD, 0},
                                      VSD_END};

enum { QUAD_BYTES = 6 * int(sizeof(FontVertex)) };

// Two triangles of a quad; texel coordinates u0..u1, v0..v1.
inline void write_quad(FontVertex* v, int x0, int y0, int x1, int y1, int u0, int v0, int u1,
                       int v1, D3dColor c) {
    const FontVertex a = {int16_t(x0), int16_t(y0), c, int16_t(u0), int16_t(v0)};
    const FontVertex b = {int16_t(x1), int16_t(y0), c, int16_t(u1), int16_t(v0)};
    const FontVertex d = {int16_t(x1), int16_t(y1), c, int16_t(u1), int16_t(v1)};
    const FontVertex e = {int16_t(x0), int16_t(y1), c, int16_t(u0), int16_t(v1)};
    v[0] = a;
    v[1] = b;
    v[2] = d;
    v[3] = a;
    v[4] = d;
    v[5] = e;
}

// Room for one quad in the writer's run.
inline FontVertex* writer_quad() {
    DynVBWriter& w = common_vb_writer;
    if (!w.fits(QUAD_BYTES)) w.flush(false);
    FontVertex* v = reinterpret_cast<FontVertex*>(w.cur);
    w.cur += QUAD_BYTES;
    w.count += 2;
    return v;
}

// Lays a text block out and hands every quad to `emit(x0, y0, x1, y1, u0, v0, u1, v1, c)`.
template <typename Emit>
void layout_text(const char* text, int len, int left, int first_bottom, D3dColor color,
                 Emit&& emit) {
    const int s = font_scale, line = font_scale * cell_ht;
    const D3dColor shadow = (color >> 1) & 0x7F000000u;
    int pen = left, bottom = first_bottom;
    for (int i = 0; i < len; ++i) {
        unsigned char ch = static_cast<unsigned char>(text[i]);
        if (ch == '\n') {
            pen = left;
            bottom -= line;
            continue;
        }
        const FontGlyph& g = glyphs[ch];
        if (ch != 0 && ch != ' ') {
            int w = s * (g.right - g.left), h = s * (g.top - g.bottom);
            emit(pen + 1, bottom - 1, pen + 1 + w, bottom - 1 + h, g.left, g.bottom, g.right, g.top,
                 shadow);
            emit(pen, bottom, pen + w, bottom + h, g.left, g.bottom, g.right, g.top, color);
        }
        pen += s * (g.right - g.left + 1);
    }
}

int text_length(const char* text, int len) {
    if (!text) return 0;
    return len < 0 ? int(strlen(text)) : len;
}
} // namespace

// [SECTION] loading

bool cut_font_glyphs(const uint32_t* px, int width, int height, FontGlyph* out) {
    if (width <= 0 || height <= 0 || width % 16 || height % 16) return false;
    const int cw = width / 16, ch = height / 16;
    for (int k = 0; k < 256; ++k) {
        const int x0 = cw * (k % 16), y0 = (15 - k / 16) * ch;
        int first = -1, last = -1;
        for (int x = x0; x < x0 + cw; ++x)
            for (int y = y0; y < y0 + ch; ++y)
                if (px[size_t(y) * size_t(width) + size_t(x)] >> 24) {
                    if (first < 0) first = x;
                    last = x;
                    break;
                }
        FontGlyph& g = out[k];
        g.left = int16_t(first >= 0 ? first : x0);
        g.right = int16_t(first >= 0 ? last + 1 : x0 + cw / 2 + 1);
        g.bottom = int16_t(y0);
        g.top = int16_t(y0 + ch);
    }
    return true;
}

void update_font_scale() {
    int s = d3d_ht / (cell_ht * 30);
    font_scale = s < 1 ? 1 : s;
    debug("font scale: %d", font_scale);
}

void init_font() {
    TgaImage img;
    try {
        load_tga(make_full_path("font.tga"), img);
    } catch (const StreamException& e) {
        debug("font.tga: %s (offset %d)", e.message, e.code);
        fatal("can't load font.tga");
    }
    if (!cut_font_glyphs(img.pixels.items, img.width, img.height, glyphs))
        fatal("expected 16x16 font grid in font.tga, got %dx%d image", img.width, img.height);
    cell_ht = img.height / 16;
    update_font_scale();

    font_tex = create_managed_texture(img.width, img.height);
    if (!font_tex) fatal("can't create font texture");
    int pitch = 0;
    uint8_t* dst = static_cast<uint8_t*>(lock_texture(font_tex, pitch, true));
    ASSERT_TEXT(dst, "ptr");
    for (int y = 0; y < img.height; ++y)
        memcpy(dst + size_t(y) * size_t(pitch), img.pixels.items + size_t(y) * size_t(img.width),
               size_t(img.width) * 4);
    unlock_texture(font_tex);

    font_decl = get_vertex_decl(FONT_VSD);
    font_shader = get_shader("font.sh");
    font_state.shader = font_shader;
    font_state.vdecl = font_decl;
    font_state.stride = int(sizeof(FontVertex));
    font_state.texture = font_tex;
}

void close_font() {
    // After close_d3d the slots are gone already.
    if (is_d3d_open()) {
        release_shader(font_shader);
        release_texture(font_tex);
    }
    font_shader = nullptr;
    font_tex = nullptr;
    font_decl = nullptr;
    font_state.reset();
    font_stack.clear();
}

void push_font_state() {
    font_stack.push_back(font_scale);
}

void pop_font_state() {
    ASSERT(font_stack.num > 0);
    font_scale = font_stack[--font_stack.num];
}

void set_font_scale(int scale) {
    font_scale = scale < 1 ? 1 : scale;
}
int get_font_scale() {
    return font_scale;
}
int get_font_cell_height() {
    return cell_ht;
}
const FontGlyph* get_font_glyphs() {
    return glyphs;
}
FontBatchState* get_font_batch_state() {
    return &font_state;
}

// [SECTION] drawing

void start_draw_text() {
    font_state.apply(nullptr);
}

void end_draw_text() {
    font_state.finish();
}

void calc_text_size(const char* text, int len, int& width, int& height) {
    len = text_length(text, len);
    int w = 0, line_w = 0, h = 0;
    const int line = font_scale * cell_ht;
    for (int i = 0; i < len; ++i) {
        unsigned char ch = static_cast<unsigned char>(text[i]);
        if (ch == '\n') {
            h += line;
            line_w = 0;
            continue;
        }
        line_w += font_scale * (glyphs[ch].right - glyphs[ch].left + 1);
        if (line_w > w) w = line_w;
    }
    if (len > 0 && text[len - 1] != '\n') h += line;
    width = w;
    height = h;
}

// Block placement shared by draw_text and batch_text: left edge and block bottom.
static void place_block(int x, int y, int halign, int valign, int w, int h, int& left,
                        int& bottom) {
    left = x - (halign + 1) * w / 2;
    bottom = y - (valign + 1) * h / 2;
}

void draw_text(const char* text, int len, int x, int y, int halign, int valign, D3dColor color) {
    len = text_length(text, len);
    int w, h, left, bottom;
    calc_text_size(text, len, w, h);
    place_block(x, y, halign, valign, w, h, left, bottom);
    layout_text(text, len, left, bottom + h - font_scale * cell_ht, color,
                [](int x0, int y0, int x1, int y1, int u0, int v0, int u1, int v1, D3dColor c) {
                    write_quad(writer_quad(), x0, y0, x1, y1, u0, v0, u1, v1, c);
                });
}

void draw_rect(int x0, int y0, int x1, int y1, D3dColor color) {
    write_quad(writer_quad(), x0, y0, x1, y1, -1, -1, -1, -1, color);
}

void draw_box(int x0, int y0, int x1, int y1, D3dColor color) {
    draw_rect(x0, y0, x0 + 1, y1, color);
    draw_rect(x1, y0, x1 + 1, y1, color);
    draw_rect(x0, y0, x1 + 1, y0 + 1, color);
    draw_rect(x0 + 1, y1, x1, y1 + 1, color);
}

void batch_rect(RenderBatch& batch, int x0, int y0, int x1, int y1, D3dColor color) {
    vec4f r = make4f(float(x0), float(y0), float(x1), float(y1));
    void* p = batch.add(&font_state, r, QUAD_BYTES, 2);
    write_quad(static_cast<FontVertex*>(p), x0, y0, x1, y1, -1, -1, -1, -1, color);
}

vec4f batch_text(RenderBatch& batch, const char* text, int len, int x, int y, int halign,
                 int valign, D3dColor color) {
    len = text_length(text, len);
    int w, h, left, bottom;
    calc_text_size(text, len, w, h);
    place_block(x, y, halign, valign, w, h, left, bottom);
    const vec4f r = make4f(float(left), float(bottom), float(left + w), float(bottom + h));
    layout_text(text, len, left, bottom + h - font_scale * cell_ht, color,
                [&](int x0, int y0, int x1, int y1, int u0, int v0, int u1, int v1, D3dColor c) {
                    void* p = batch.add(&font_state, r, QUAD_BYTES, 2);
                    write_quad(static_cast<FontVertex*>(p), x0, y0, x1, y1, u0, v0, u1, v1, c);
                });
    return r;
}
