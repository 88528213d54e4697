#include "launcher/gui_renderer.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <vector>

namespace {
struct Target {
    int w, h;
    std::vector<uint32_t> px;
    SoftwareGuiRenderer r;
    Target(int width, int height, uint32_t fill = 0)
        : w(width), h(height), px(size_t(width) * size_t(height), fill) {
        r.set_target(px.data(), width * 4, width, height);
    }
    uint32_t at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

// A renderer with a 16 x 16-cell font: 'A' inks columns 2..4 of its cell, 'B' column 0.
struct FontTarget : Target {
    std::string dir = make_temp_dir("font");
    FontTarget(int width, int height) : Target(width, height) {
        TestFontImage img(16);
        img.setInk('A', 2, 5);
        img.setInk('B', 0, 1);
        r.set_font(r.load_font(img.save(dir).c_str()));
    }
};
} // namespace

TEST(Blend, FollowsThePackedFormula) {
    EXPECT_EQ(blend_pixel(0x000000, 0xFFFFFF, 255), 0xFFFFFFu);
    EXPECT_EQ(blend_pixel(0xFF123456, 0xFFFFFFFF, 0), 0x123456u); // the target alpha is dropped
    EXPECT_EQ(blend_pixel(0x000000, 0xFFFFFF, 128), 0x808080u);
    EXPECT_EQ(blend_pixel(0x204060, 0xA0C0E0, 64), 0x406080u);
    EXPECT_EQ(blend_pixel(0x000000, 0x00FF00, 255), 0x00FF00u);
    // The formula's rounding is built for lightening; darkening lands one step above.
    EXPECT_EQ(blend_pixel(0xFFFFFF, 0x000000, 255), 0x010101u);
    EXPECT_EQ(blend_pixel(0x222222, 0x323232, 255), 0x323232u);
    // Channels do not leak into each other.
    EXPECT_EQ(blend_pixel(0x00FF00, 0xFF00FF, 255), 0xFF01FFu);
}

TEST(Blend, ModulationScalesEachChannelIncludingAlpha) {
    EXPECT_EQ(modulate_color(0xFFFFFFFF, 0x80C0E0F0), 0x80C0E0F0u);
    EXPECT_EQ(modulate_color(0x80FFFFFF, 0xFF102030), 0x80102030u);
    EXPECT_EQ(modulate_color(0xFF808080, 0xFFFFFFFF), 0xFF808080u);
    EXPECT_EQ(modulate_color(0xFFFFFFFF, 0x00000000), 0x00000000u);
}

TEST(Renderer, FillRoundsCornersClipsAndBlends) {
    Target t(8, 6, 0xFF000000);
    t.r.fill_rect(0.4f, 0.5f, 2.5f, 2.49f, 0xFFFFFFFF);
    // x from 0 to 3 (2.5 rounds up), y from 1 to 2.
    EXPECT_EQ(t.at(0, 1), 0xFFFFFFu);
    EXPECT_EQ(t.at(2, 1), 0xFFFFFFu);
    EXPECT_EQ(t.at(3, 1), 0xFF000000u);
    EXPECT_EQ(t.at(0, 0), 0xFF000000u);
    EXPECT_EQ(t.at(0, 2), 0xFF000000u);
    // Far outside on every side: only the target is touched, nothing beyond it.
    t.r.fill_rect(-100, -100, 100, 100, 0x80FF0000);
    EXPECT_EQ(t.at(7, 5), 0x800000u);
    EXPECT_EQ(t.at(0, 1), 0xFF8080u);
    // Empty and inverted rectangles draw nothing.
    std::vector<uint32_t> before = t.px;
    t.r.fill_rect(3, 3, 3, 5, 0xFFFFFFFF);
    t.r.fill_rect(5, 5, 2, 2, 0xFFFFFFFF);
    EXPECT_EQ(t.px, before);
}

TEST(Renderer, FrameIsOnePixelWideAndClearCoversTheTarget) {
    Target t(8, 8);
    t.r.clear_target(0xFF101010);
    t.r.frame_rect(1, 1, 6, 5, 0xFFFFFFFF);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            bool inside = x >= 1 && x < 6 && y >= 1 && y < 5;
            bool edge = inside && (x == 1 || x == 5 || y == 1 || y == 4);
            EXPECT_EQ(t.at(x, y), edge ? 0xFFFFFFu : 0xFF101010u) << x << "," << y;
        }
    }
    // Translucent: corners are drawn once, not twice.
    t.r.clear_target(0);
    t.r.frame_rect(0, 0, 3, 3, 0x80FFFFFF);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(t.at(x, y), x == 1 && y == 1 ? 0u : 0x808080u) << x << "," << y;
}

TEST(RendererFont, GridGivesCellsUnitAndGlyphSpans) {
    Target t(4, 4);
    EXPECT_EQ(t.r.unit(), 8); // no font yet
    std::string dir = make_temp_dir("font512");
    TestFontImage img(32); // 512 x 512
    img.setInk('x', 5, 9);
    Font* f = t.r.load_font(img.save(dir).c_str());
    t.r.set_font(f);
    EXPECT_EQ(t.r.unit(), 32);
    EXPECT_EQ(f->lineHeight, 32);
    const GlyphRect& g = f->glyphs['x'];
    EXPECT_EQ(g.x0, ('x' % 16) * 32 + 5);
    EXPECT_EQ(g.x1, ('x' % 16) * 32 + 9);
    // Character row 7 counted from the top is stored row 8 from the bottom.
    EXPECT_EQ(g.y0, (15 - 'x' / 16) * 32);
    EXPECT_EQ(g.y1, g.y0 + 32);
    // An empty cell is half a cell plus one wide, so a space advances by cell / 2 + 2.
    EXPECT_EQ(f->glyphs[' '].x1 - f->glyphs[' '].x0, 32 / 2 + 1);
    int w = 0, h = 0;
    t.r.measure_text(" ", -1, &w, &h, 1);
    EXPECT_EQ(w, 32 / 2 + 2);
    EXPECT_EQ(h, 32);
}

TEST(RendererFont, MeasuresLinesLikeItPrintsThem) {
    FontTarget t(64, 64);
    int w = -1, h = -1;
    t.r.measure_text("", -1, &w, &h, 1);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    t.r.measure_text("AB", -1, &w, &h, 1);
    EXPECT_EQ(w, (3 + 1) + (1 + 1));
    EXPECT_EQ(h, 16);
    // A trailing line feed adds its line; an empty last line adds none.
    t.r.measure_text("AB\n", -1, &w, &h, 1);
    EXPECT_EQ(h, 16);
    t.r.measure_text("A\nAAB", -1, &w, &h, 2);
    EXPECT_EQ(w, 2 * (4 + 4 + 2));
    EXPECT_EQ(h, 2 * 32);
    t.r.measure_text("AAB", 1, &w, &h, 1); // explicit length
    EXPECT_EQ(w, 4);
}

TEST(RendererFont, PrintDrawsShadowThenGlyphScaledAndAligned) {
    FontTarget t(64, 64);
    t.r.print_text("A", -1, 10, 20, -1, -1, 0xFFFF0000, 1);
    // Glyph: 3 columns x 16 rows at (10, 20); shadow one pixel right and down.
    EXPECT_EQ(t.at(10, 20), 0xFF0000u);
    EXPECT_EQ(t.at(12, 35), 0xFF0000u);
    EXPECT_EQ(t.at(13, 21), 0u); // shadow: black over black
    EXPECT_EQ(t.at(9, 20), 0u);
    EXPECT_EQ(t.at(10, 36), 0u);
    // Over a light background the shadow shows as half-alpha black.
    Target bg(64, 64, 0xFFFFFF);
    TestFontImage img(16);
    img.setInk('A', 2, 5);
    std::string dir = make_temp_dir("shadow");
    bg.r.set_font(bg.r.load_font(img.save(dir).c_str()));
    bg.r.print_text("A", -1, 10, 20, -1, -1, 0xFFFF0000, 2);
    // (Darkening channels land one step above the exact value, as the formula rounds.)
    EXPECT_EQ(bg.at(10, 20), 0xFF0101u);
    EXPECT_EQ(bg.at(15, 51), 0xFF0101u); // 3 x 16 texels as 2 x 2 blocks
    EXPECT_EQ(bg.at(16, 21), 0x818181u); // shadow column right of the glyph
    EXPECT_EQ(bg.at(11, 52), 0x818181u); // shadow row below the glyph
    EXPECT_EQ(bg.at(16, 53), 0xFFFFFFu);

    // Alignment (1, 1): the block's right edge at x and its bottom at y.
    t.r.clear_target(0);
    t.r.print_text("AA", -1, 40, 30, 1, 1, 0xFFFFFFFF, 1);
    // Block 8 wide (two glyphs of 3 plus 1), 16 high: starts at x 32, y 14.
    EXPECT_EQ(t.at(32, 14), 0xFFFFFFu);
    EXPECT_EQ(t.at(36, 29), 0xFFFFFFu);
    EXPECT_EQ(t.at(31, 14), 0u);
    EXPECT_EQ(t.at(32, 13), 0u);
    // Spaces and zero bytes only advance; a line feed returns to the block's left edge.
    t.r.clear_target(0);
    t.r.print_text("B A\nB", -1, 0, 0, -1, -1, 0xFFFFFFFF, 1);
    EXPECT_EQ(t.at(0, 0), 0xFFFFFFu);
    EXPECT_EQ(t.at(2 + 10, 0), 0xFFFFFFu); // B (2) + space (8 + 1 + 1)
    EXPECT_EQ(t.at(0, 16), 0xFFFFFFu);
    EXPECT_EQ(t.at(2, 0), 0u);
}

using RendererDeathTest = ::testing::Test;

TEST(RendererDeathTest, DrawingWithoutTargetOrFontIsFatal) {
    SoftwareGuiRenderer r;
    EXPECT_EXIT(r.fill_rect(0, 0, 1, 1, 0xFFFFFFFF), ::testing::ExitedWithCode(100),
                "gui_renderer\\([0-9]+\\): failed ASSERT\\(buffer\\)");
    std::vector<uint32_t> px(16);
    r.set_target(px.data(), 16, 4, 4);
    EXPECT_EXIT(r.print_text("a", -1, 0, 0, -1, -1, 0xFFFFFFFF, 1), ::testing::ExitedWithCode(100),
                "failed ASSERT\\(curFont\\)");
}

TEST(RendererDeathTest, BadFontImagesAreFatalWithTheirMessages) {
    std::string dir = make_temp_dir("badfont");
    write_test_tga(dir + "/odd.tga", std::vector<uint32_t>(250 * 256, 0), 250, 256);
    SoftwareGuiRenderer r;
    EXPECT_EXIT(r.load_font((dir + "/odd.tga").c_str()), ::testing::ExitedWithCode(100),
                "expected 16x16 font grid in .*odd.tga, got 250x256 image");
    EXPECT_EXIT(r.load_font((dir + "/none.tga").c_str()), ::testing::ExitedWithCode(100),
                "can't load font from .*none.tga");
}
