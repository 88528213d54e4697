// The bitmap font ("font.tga", a 16 x 16 character grid) and overlay text drawn through the
// common vertex writer. Coordinates are pixels, origin at the bottom-left, y up.
#pragma once

#include "core/vec4f.h"
#include "render/d3d_types.h"

#include <cstdint>

class RenderBatch;
class FontBatchState;

struct FontGlyph {
    int16_t left, bottom, right, top; // texels; right and top exclusive
};

// 12-byte vertex of the font declaration.
struct FontVertex {
    int16_t x, y;
    D3dColor color;
    int16_t u, v;
};
static_assert(sizeof(FontVertex) == 12);

void init_font(); // after the device exists; problems are fatal
void close_font();
void update_font_scale(); // after a resize
void push_font_state();
void pop_font_state();
void set_font_scale(int scale);
int get_font_scale();
int get_font_cell_height();
const FontGlyph* get_font_glyphs(); // 256 entries

// Glyph table of a 16 x 16 grid image (rows bottom first); false when the size is not a
// multiple of 16 in both directions.
bool cut_font_glyphs(const uint32_t* pixels, int width, int height, FontGlyph* glyphs);

void start_draw_text();
void end_draw_text();
void calc_text_size(const char* text, int len, int& width, int& height); // len < 0: to the end
// Alignment -1, 0, 1: x is the block's left edge, centre or right edge; y its bottom,
// centre or top.
void draw_text(const char* text, int len, int x, int y, int halign, int valign, D3dColor color);
void draw_rect(int x0, int y0, int x1, int y1, D3dColor color);
void draw_box(int x0, int y0, int x1, int y1, D3dColor color);

void batch_rect(RenderBatch& batch, int x0, int y0, int x1, int y1, D3dColor color);
vec4f batch_text(RenderBatch& batch, const char* text, int len, int x, int y, int halign,
                 int valign, D3dColor color); // the block's rectangle
FontBatchState* get_font_batch_state();
