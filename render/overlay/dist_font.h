// Distance-field fonts: a text description plus one DDS page, drawn through render batches.
// Coordinates are pixels, origin at the top-left, y down.
#pragma once

#include "platform/game_export.h"

#include "core/vec4f.h"
#include "platform/dyn_array.h"
#include "render/d3d_types.h"

class RenderBatch;
class BaseRenderBatchState;
class DistFontBatchState;
struct Texture;

struct DistFontVertex {
    float x, y;
    D3dColor color, color2;
    float u, v;
    uint32_t params; // packed edge, shadow offset and outer edge (see renderText)
};
static_assert(sizeof(DistFontVertex) == 28);

// Alignment flags of renderText: bits 0-1 horizontal, bits 2-3 vertical; 0 or 3 centres.
enum {
    DFA_LEFT = 1,
    DFA_RIGHT = 2,
    DFA_TOP = 4,
    DFA_BOTTOM = 8,
};

class GAME_EXPORT DistFont {
  public:
    struct Glyph {
        float x, y;          // page position, normalised
        float width, height; // pixels
        float xoffset, yoffset, xadvance;
    };
    struct CharRange {
        int first, end, glyph; // codes first..end-1 are glyphs glyph..
    };
    struct Kerning {
        int second;
        float amount;
    };
    struct KerningRange {
        int first, start, count;
    };

    int size = 0, spread = 0, lineHeight = 0;
    float invScaleW = 0, invScaleH = 0;
    Texture* texture = nullptr;
    DistFontBatchState* batchState = nullptr;
    DynArray<Glyph> glyphs;
    DynArray<CharRange> charRanges;
    DynArray<Kerning> kernings;
    DynArray<KerningRange> kerningRanges;

    DistFont() = default;
    ~DistFont();
    DistFont(const DistFont&) = delete;
    DistFont& operator=(const DistFont&) = delete;

    bool load(const char* path); // false (and the font cleared) on any problem
    void clear();

    const Glyph* getGlyph(int code) const; // null when the font lacks it
    float getKerning(int prev, int code) const;

    // Box (x0, y0, x1, y1) in font pixels; len < 0: to the terminator.
    vec4f calcTextBox(const char* text, int len, int* glyph_count = nullptr) const;
    void renderText(RenderBatch& batch, const vec4f& rect, int align, D3dColor color, float size_px,
                    const char* text, int len, float edge = 0, float offset_x = 0,
                    float offset_y = 0, float outer_edge = 0, D3dColor color2 = 0,
                    BaseRenderBatchState* state = nullptr) const;
};

GAME_EXPORT extern DistFont default_font;

void init_dist_fonts(); // the vertex declaration and "distfont.sh"
void close_dist_fonts();
GAME_EXPORT void start_dist_font_render();
GAME_EXPORT void end_dist_font_render();

// The packed parameter word of renderText (alpha edge, red/green offset, blue outer edge).
uint32_t pack_dist_font_params(const DistFont& font, float size_px, float edge, float offset_x,
                               float offset_y, float outer_edge);
