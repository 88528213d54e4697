// The bitmap font: 256 characters (Latin-1) in a 16 x 16 grid of cells, white with the
// glyph coverage in alpha, so that a renderer can tint it with any colour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct BitmapFontImage {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels; // A8R8G8B8, top-down rows
};

// Renders the font in `ttf` with cells of cell_size x cell_size pixels. Returns false
// (with the reason in `error`) when the font data cannot be used.
bool render_bitmap_font(const unsigned char* ttf, size_t ttf_size, int cell_size,
                        BitmapFontImage& out, const char** error);
