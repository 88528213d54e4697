#include "launcher/gui_renderer.h"

#include "platform/file_stream.h"
#include "platform/log.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {
int round_coord(float v) {
    return int(floorf(v + 0.5f));
}

int text_length(const char* text, int length) {
    if (!text) return 0;
    return length < 0 ? int(strlen(text)) : length;
}
} // namespace

uint32_t blend_pixel(uint32_t dst, uint32_t src, uint32_t a) {
    uint32_t drb = dst & 0xFF00FF;
    uint32_t m = a * ((src & 0xFF00FF) - drb) + 0x800080;
    uint32_t rb = (drb + ((((m >> 8) & 0xFF00FF) + m) >> 8)) & 0xFF00FF;
    uint32_t dg = dst & 0xFF00;
    uint32_t mg = a * ((src & 0xFF00) - dg) + 0x8000;
    uint32_t g = (dg + ((((mg >> 8) & 0xFF00) + mg) >> 8)) & 0xFF00;
    return rb | g;
}

uint32_t modulate_color(uint32_t texel, uint32_t color) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t t = (texel >> shift) & 0xFF;
        uint32_t c = (color >> shift) & 0xFF;
        out |= ((t * (c + 1)) >> 8) << shift;
    }
    return out;
}

bool cut_font_glyphs(Font& font) {
    const TgaImage& img = font.image;
    if (img.width <= 0 || img.height <= 0 || img.width % 16 || img.height % 16) return false;
    int cw = img.width / 16, ch = img.height / 16;
    font.lineHeight = ch;
    for (int c = 0; c < 256; ++c) {
        int left = (c % 16) * cw;
        int bottom = (15 - c / 16) * ch; // character row 0 is the top of the picture
        int first = -1, last = -1;
        for (int x = left; x < left + cw; ++x) {
            for (int y = bottom; y < bottom + ch; ++y) {
                if (img.pixels[long(y) * img.width + x] >> 24) {
                    if (first < 0) first = x;
                    last = x;
                    break;
                }
            }
        }
        GlyphRect& g = font.glyphs[c];
        g.y0 = bottom;
        g.y1 = bottom + ch;
        if (first < 0) {
            g.x0 = left;
            g.x1 = left + cw / 2 + 1;
        } else {
            g.x0 = first;
            g.x1 = last + 1;
        }
    }
    return true;
}

SoftwareGuiRenderer::~SoftwareGuiRenderer() {
    for (Font* f : fonts) delete f;
}

int SoftwareGuiRenderer::unit() {
    return curFont ? curFont->lineHeight : 8;
}

Font* SoftwareGuiRenderer::load_font(const char* filename) {
    Font* font = new Font;
    try {
        load_tga(filename, font->image);
    } catch (const StreamException& e) {
        delete font;
        debug("%s: %s (offset %d)", filename, e.message, e.code);
        fatal("can't load font from %s", filename);
    }
    if (!cut_font_glyphs(*font)) {
        int w = font->image.width, h = font->image.height;
        delete font;
        fatal("expected 16x16 font grid in %s, got %dx%d image", filename, w, h);
    }
    fonts.push_back(font);
    return font;
}

void SoftwareGuiRenderer::set_target(uint32_t* pixels, int pitch_bytes, int width, int height) {
    buffer = pixels;
    pitch = pitch_bytes / 4;
    targetWidth = width;
    targetHeight = height;
}

void SoftwareGuiRenderer::clear_target(uint32_t color) {
    ASSERT(buffer);
    for (int y = 0; y < targetHeight; ++y) {
        uint32_t* row = buffer + long(y) * pitch;
        for (int x = 0; x < targetWidth; ++x) row[x] = color;
    }
}

void SoftwareGuiRenderer::fillPixels(int x0, int y0, int x1, int y1, uint32_t color) {
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > targetWidth) x1 = targetWidth;
    if (y1 > targetHeight) y1 = targetHeight;
    uint32_t a = color >> 24;
    for (int y = y0; y < y1; ++y) {
        uint32_t* row = buffer + long(y) * pitch;
        for (int x = x0; x < x1; ++x) row[x] = blend_pixel(row[x], color, a);
    }
}

void SoftwareGuiRenderer::fill_rect(float x0, float y0, float x1, float y1, uint32_t color) {
    ASSERT(buffer);
    fillPixels(round_coord(x0), round_coord(y0), round_coord(x1), round_coord(y1), color);
}

void SoftwareGuiRenderer::frame_rect(float x0, float y0, float x1, float y1, uint32_t color) {
    ASSERT(buffer);
    int l = round_coord(x0), t = round_coord(y0), r = round_coord(x1), b = round_coord(y1);
    if (r <= l || b <= t) return;
    fillPixels(l, t, r, t + 1, color);
    if (b - 1 > t) fillPixels(l, b - 1, r, b, color);
    fillPixels(l, t + 1, l + 1, b - 1, color);
    if (r - 1 > l) fillPixels(r - 1, t + 1, r, b - 1, color);
}

void SoftwareGuiRenderer::measure_text(const char* text, int length, int* width, int* height,
                                       int scale) {
    int n = text_length(text, length);
    int lh = unit();
    int widest = 0, line = 0, h = 0;
    for (int i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            if (line > widest) widest = line;
            line = 0;
            h += scale * lh;
            continue;
        }
        int gw = curFont ? curFont->glyphs[c].x1 - curFont->glyphs[c].x0 : 0;
        line += scale * (gw + 1);
    }
    if (line > widest) widest = line;
    if (n > 0 && text[n - 1] != '\n') h += scale * lh;
    if (width) *width = widest;
    if (height) *height = h;
}

void SoftwareGuiRenderer::drawGlyph(const GlyphRect& g, int x, int y, uint32_t color, int scale) {
    const TgaImage& img = curFont->image;
    for (int row = 0; row < g.y1 - g.y0; ++row) {
        int py = y + row * scale;
        if (py + scale <= 0 || py >= targetHeight) continue;
        // Stored rows run bottom-up: the glyph's top row is its last stored row.
        const uint32_t* src = img.pixels.items + long(g.y1 - 1 - row) * img.width;
        for (int col = 0; col < g.x1 - g.x0; ++col) {
            uint32_t texel = src[g.x0 + col];
            if (!(texel >> 24)) continue;
            uint32_t c = modulate_color(texel, color);
            int px = x + col * scale;
            fillPixels(px, py, px + scale, py + scale, c);
        }
    }
}

void SoftwareGuiRenderer::print_text(const char* text, int length, float x, float y, int halign,
                                     int valign, uint32_t color, int scale) {
    ASSERT(buffer);
    ASSERT(curFont);
    int n = text_length(text, length);
    int w = 0, h = 0;
    measure_text(text, n, &w, &h, scale);
    int start_x = round_coord(x - float(w) * float(halign + 1) / 2.0f);
    int pen_y = round_coord(y - float(h) * float(valign + 1) / 2.0f);
    int pen_x = start_x;
    uint32_t shadow = ((color >> 24) / 2) << 24;
    for (int i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            pen_y += scale * curFont->lineHeight;
            pen_x = start_x;
            continue;
        }
        const GlyphRect& g = curFont->glyphs[c];
        if (c != 0 && c != ' ') {
            drawGlyph(g, pen_x + 1, pen_y + 1, shadow, scale);
            drawGlyph(g, pen_x, pen_y, color, scale);
        }
        pen_x += scale * (g.x1 - g.x0 + 1);
    }
}
