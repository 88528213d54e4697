// A device with the overlay shaders, the common writer and (optionally) a synthetic font.
#pragma once

#include "../render/render_fixture.h"

#include <cstdint>
#include <string>
#include <vector>

// A 32-bit TGA file image; pixel(x, y) gives A8R8G8B8 with y counted from the bottom row.
template <typename F>
std::string tga_bytes(int w, int h, F pixel, int type = 2, int bpp = 32) {
    std::string s(18, '\0');
    s[2] = char(type);
    s[12] = char(w & 255);
    s[13] = char(w >> 8);
    s[14] = char(h & 255);
    s[15] = char(h >> 8);
    s[16] = char(bpp);
    s[17] = 8;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t p = pixel(x, y);
            for (int i = 0; i < 4; ++i) s.push_back(char(p >> (8 * i)));
        }
    return s;
}

// The test font: in a 256 x 256 grid, printable glyph k (33..126) is opaque white in cell
// columns 2 .. 2 + 4 + k % 5 (exclusive) in its top 12 rows; every other cell is empty.
inline int test_glyph_width(int k) {
    return k > 32 && k < 127 ? 4 + k % 5 : 0;
}
std::string test_font_tga();

class OverlayTest : public RenderTest {
  protected:
    int width = 64, height = 64; // of the window and device, set before SetUp
    void SetUp() override;
    void TearDown() override;
    void installShaders();
    void initTestFont(); // writes font.tga and runs init_font
    // The image last presented, 0xAARRGGBB, row 0 at the top.
    std::vector<uint32_t> readPresented();
};

inline uint32_t pixel_at(const std::vector<uint32_t>& px, int w, int x, int y_from_top) {
    return px[size_t(y_from_top) * size_t(w) + size_t(x)];
}
