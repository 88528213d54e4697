#include "tools/fontgen/bitmap_font.h"

#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

#include <cmath>
#include <utility>

namespace {
constexpr int SUBPIXEL_STEPS = 4;

// Character codes 0x80..0x9F have no glyphs (control codes in Latin-1).
bool has_glyph(int code) {
    return (code > 32 && code < 127) || code >= 161;
}

// Lifts thin, faint stems a little: without hinting, one-pixel strokes land between
// pixel columns and come out grey.
uint8_t shape_coverage(uint8_t c) {
    float v = float(c) / 255.0f;
    v = powf(v, 0.8f);
    int a = int(v * 255.0f + 0.5f);
    return uint8_t(a > 255 ? 255 : a);
}
} // namespace

namespace {
struct GlyphBitmap {
    int x0 = 0, y0 = 0, w = 0, h = 0;
    std::vector<unsigned char> coverage;
    double sharpness = 0; // sum of squared coverage: high when edges fall on pixel borders
};

GlyphBitmap render_glyph(const stbtt_fontinfo& font, int glyph, float scale, float shift_x,
                         float shift_y) {
    GlyphBitmap g;
    int x1 = 0, y1 = 0;
    stbtt_GetGlyphBitmapBoxSubpixel(&font, glyph, scale, scale, shift_x, shift_y, &g.x0, &g.y0, &x1,
                                    &y1);
    g.w = x1 - g.x0;
    g.h = y1 - g.y0;
    if (g.w <= 0 || g.h <= 0) return g;
    g.coverage.assign(size_t(g.w) * size_t(g.h), 0);
    stbtt_MakeGlyphBitmapSubpixel(&font, g.coverage.data(), g.w, g.h, g.w, scale, scale, shift_x,
                                  shift_y, glyph);
    for (unsigned char c : g.coverage) g.sharpness += double(c) * double(c);
    return g;
}

// Without hinting, stems land between pixels and come out as two grey columns. Glyphs
// are spaced by their ink, so each may move by a fraction of a pixel sideways for free;
// the sharpest of a few positions wins. Rows share one offset to keep one baseline.
GlyphBitmap sharpest_glyph(const stbtt_fontinfo& font, int glyph, float scale, float shift_y) {
    GlyphBitmap best;
    for (int i = 0; i < SUBPIXEL_STEPS; ++i) {
        GlyphBitmap g = render_glyph(font, glyph, scale, float(i) / SUBPIXEL_STEPS, shift_y);
        if (i == 0 || g.sharpness > best.sharpness) best = std::move(g);
    }
    return best;
}
} // namespace

bool render_bitmap_font(const unsigned char* ttf, size_t ttf_size, int cell_size,
                        BitmapFontImage& out, const char** error) {
    stbtt_fontinfo font;
    int offset = stbtt_GetFontOffsetForIndex(ttf, 0);
    if (ttf_size < 12 || offset < 0 || !stbtt_InitFont(&font, ttf, offset)) {
        *error = "not a TrueType font";
        return false;
    }
    float scale = stbtt_ScaleForPixelHeight(&font, float(cell_size));
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(&font, &ascent, &descent, &gap);
    int baseline = int(floorf(float(ascent) * scale + 0.5f));

    // The vertical offset that makes the letters sharpest overall.
    float shift_y = 0;
    double best_total = -1;
    for (int i = 0; i < SUBPIXEL_STEPS; ++i) {
        double total = 0;
        for (int code = 'A'; code <= 'z'; ++code)
            total += sharpest_glyph(font, stbtt_FindGlyphIndex(&font, code), scale,
                                    float(i) / SUBPIXEL_STEPS)
                         .sharpness;
        if (total > best_total) {
            best_total = total;
            shift_y = float(i) / SUBPIXEL_STEPS;
        }
    }

    out.width = out.height = cell_size * 16;
    out.pixels.assign(size_t(out.width) * size_t(out.height), 0x00FFFFFF);
    for (int code = 0; code < 256; ++code) {
        int cell_x = (code % 16) * cell_size, cell_y = (code / 16) * cell_size;
        if (code == ' ') {
            // Never drawn, only measured: marks give the space its natural width, where an
            // empty cell would be half a cell wide.
            int adv = 0, lsb = 0;
            stbtt_GetCodepointHMetrics(&font, ' ', &adv, &lsb);
            int width = int(floorf(float(adv) * scale + 0.5f)) - 1;
            if (width < 1) width = 1;
            if (width > cell_size) width = cell_size;
            size_t row = size_t(cell_y + baseline - 1) * size_t(out.width);
            out.pixels[row + size_t(cell_x)] |= 0x01000000;
            out.pixels[row + size_t(cell_x + width - 1)] |= 0x01000000;
            continue;
        }
        if (!has_glyph(code)) continue;
        int glyph = stbtt_FindGlyphIndex(&font, code);
        if (glyph == 0) continue;
        GlyphBitmap g = sharpest_glyph(font, glyph, scale, shift_y);
        if (g.w <= 0 || g.h <= 0) continue;
        // One free column on the left keeps neighbours in the grid apart.
        int left = g.w + 1 <= cell_size ? 1 : 0;
        for (int y = 0; y < g.h; ++y) {
            int py = baseline + g.y0 + y;
            if (py < 0 || py >= cell_size) continue;
            for (int x = 0; x < g.w && left + x < cell_size; ++x) {
                uint8_t c = g.coverage[size_t(y) * size_t(g.w) + size_t(x)];
                if (!c) continue;
                size_t at = size_t(cell_y + py) * size_t(out.width) + size_t(cell_x + left + x);
                out.pixels[at] = uint32_t(shape_coverage(c)) << 24 | 0xFFFFFF;
            }
        }
    }
    return true;
}
