#include "overlay_test_util.h"

#include "platform/file_stream.h"
#include "platform/tga.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/overlay/font.h"
#include "render/overlay/render_batch.h"

#include <cstring>

namespace {
const uint32_t BG = 0xFF0000FF, RED = 0xFFFF0000, GREEN = 0xFF00FF00;

class FontTest : public OverlayTest {
  protected:
    void SetUp() override {
        OverlayTest::SetUp();
        initTestFont();
        set_backbuffer_target();
        clear_view(BG);
    }
    std::vector<uint32_t> drawn(const char* text, int x, int y, int ha, int va, uint32_t c) {
        start_draw_text();
        draw_text(text, -1, x, y, ha, va, c);
        end_draw_text();
        return readBackBuffer();
    }
};

bool is_shadow(uint32_t p) {
    // Half-transparent black over BG.
    return (p & 0x00FFFF00) == 0 && (p & 0xFF) > 100 && (p & 0xFF) < 160;
}
} // namespace

// [SECTION] image and glyphs

TEST(FontGlyphs, GridCutting) {
    std::string tga = test_font_tga();
    std::vector<uint32_t> px(256 * 256);
    memcpy(px.data(), tga.data() + 18, px.size() * 4);
    FontGlyph g[256];
    ASSERT_TRUE(cut_font_glyphs(px.data(), 256, 256, g));
    // 'A' (65): row 4, column 1 of the grid, 4 opaque columns from cell column 2.
    EXPECT_EQ(g['A'].left, 18);
    EXPECT_EQ(g['A'].right, 22);
    EXPECT_EQ(g['A'].bottom, (15 - 4) * 16);
    EXPECT_EQ(g['A'].top, (15 - 4) * 16 + 16);
    EXPECT_EQ(g['B'].right - g['B'].left, 5);
    // An empty cell: half the cell width plus one, from the cell's left edge.
    EXPECT_EQ(g[' '].left, 0);
    EXPECT_EQ(g[' '].right, 9);
    EXPECT_EQ(g[200].left, 8 * 16);
    EXPECT_EQ(g[200].right, 8 * 16 + 9);
    EXPECT_FALSE(cut_font_glyphs(px.data(), 250, 256, g));
    EXPECT_FALSE(cut_font_glyphs(px.data(), 256, 0, g));
}

TEST(FontGlyphs, TgaReaderErrors) {
    const char* base = getenv("VELTMOOR_TEST_OUT");
    std::string path = std::string(base && *base ? base : "/tmp") + "/overlay_tga_test.tga";
    auto expect_error = [&](const std::string& bytes, const char* message) {
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        TgaImage img;
        try {
            load_tga(path.c_str(), img);
            ADD_FAILURE() << "no error for " << message;
        } catch (const StreamException& e) {
            EXPECT_STREQ(e.message, message);
        }
        EXPECT_EQ(img.pixels.num, 0);
    };
    auto one = [](int, int) { return 0xFF112233u; };
    expect_error(tga_bytes(2, 2, one, 2, 24), "unsupported TGA format");
    expect_error(tga_bytes(2, 2, one, 10, 32), "unsupported TGA format");
    expect_error(tga_bytes(0, 2, one), "zero-sized TGA image");
    std::string huge = tga_bytes(1, 1, one);
    huge[12] = huge[13] = huge[14] = huge[15] = char(0xFF); // 65535 x 65535, 4 bytes of data
    expect_error(huge, "truncated TGA image");
    std::string cut = tga_bytes(4, 4, one);
    expect_error(cut.substr(0, cut.size() - 1), "truncated TGA image");
    expect_error(cut.substr(0, 10), "error reading file");

    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::string ok =
        tga_bytes(3, 2, [](int x, int y) { return uint32_t(0x80000000 + y * 16 + x); });
    fwrite(ok.data(), 1, ok.size(), f);
    fclose(f);
    TgaImage img;
    load_tga(path.c_str(), img);
    EXPECT_EQ(img.width, 3);
    EXPECT_EQ(img.height, 2);
    ASSERT_EQ(img.pixels.num, 6);
    EXPECT_EQ(img.pixels[4], 0x80000011u); // rows in file order
    remove(path.c_str());
    try {
        load_tga(path.c_str(), img);
        ADD_FAILURE();
    } catch (const StreamException& e) {
        EXPECT_STREQ(e.message, "can't open file");
    }
}

TEST_F(FontTest, LoadsGlyphsFromFontFile) {
    EXPECT_EQ(get_font_cell_height(), 16);
    EXPECT_EQ(get_font_scale(), 1); // 64 / (16 x 30) rounds down, at least 1
    EXPECT_EQ(get_font_glyphs()['A'].left, 18);
    EXPECT_NE(get_font_batch_state()->texture, nullptr);
    EXPECT_EQ(get_font_batch_state()->stride, 12);
}

TEST_F(FontTest, BadImagesAreFatal) {
    close_font();
    writeFile("font.tga", tga_bytes(250, 256, [](int, int) { return 0u; }));
    EXPECT_EXIT(init_font(), testing::ExitedWithCode(100),
                "expected 16x16 font grid in font.tga, got 250x256 image");
    std::string cut = test_font_tga();
    writeFile("font.tga", cut.substr(0, cut.size() / 2));
    EXPECT_EXIT(init_font(), testing::ExitedWithCode(100), "can't load font.tga");
    remove(path("font.tga").c_str());
    EXPECT_EXIT(init_font(), testing::ExitedWithCode(100), "can't load font.tga");
}

// [SECTION] layout

TEST_F(FontTest, CalcTextSize) {
    int w = -1, h = -1;
    calc_text_size("AB\n", -1, w, h); // the line feed counts, the empty last line does not
    EXPECT_EQ(w, 5 + 6);
    EXPECT_EQ(h, 16);
    calc_text_size("AB", -1, w, h);
    EXPECT_EQ(h, 16);
    calc_text_size("A\n\nBB", -1, w, h);
    EXPECT_EQ(w, 12);
    EXPECT_EQ(h, 48);
    calc_text_size("AB", 1, w, h);
    EXPECT_EQ(w, 5);
    calc_text_size("", -1, w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    calc_text_size(nullptr, 5, w, h);
    EXPECT_EQ(w + h, 0);
    push_font_state();
    set_font_scale(3);
    calc_text_size("A ", -1, w, h);
    EXPECT_EQ(w, 3 * (5 + 10));
    EXPECT_EQ(h, 48);
    pop_font_state();
    EXPECT_EQ(get_font_scale(), 1);
}

TEST_F(FontTest, AlignmentRightTopPlacesGlyphs) {
    // "A" is 5 wide (4 + 1) and 16 high: right edge at 60 and top at 60 put the glyph quad
    // at x 55..59, y 44..60 (y up), i.e. rows 4..19 from the top; its top 12 rows are opaque.
    auto px = drawn("A", 60, 60, 1, 1, RED);
    EXPECT_EQ(pixel_at(px, 64, 55, 4), RED);
    EXPECT_EQ(pixel_at(px, 64, 58, 15), RED);
    EXPECT_EQ(pixel_at(px, 64, 54, 10), BG);
    EXPECT_EQ(pixel_at(px, 64, 57, 3), BG);
    // Shadow: one right, one down.
    EXPECT_TRUE(is_shadow(pixel_at(px, 64, 59, 10))) << std::hex << pixel_at(px, 64, 59, 10);
    EXPECT_TRUE(is_shadow(pixel_at(px, 64, 56, 16)));
    EXPECT_EQ(pixel_at(px, 64, 55, 16), BG); // transparent glyph rows, no shadow under them
    EXPECT_EQ(pixel_at(px, 64, 57, 18), BG);
}

TEST_F(FontTest, AlignmentLeftBottomAndLines) {
    // Two lines from (4, 10) upwards: "B" on top of "A" (the newest line is lower).
    auto px = drawn("B\nA", 4, 10, -1, -1, GREEN);
    // Line 2 ("A") bottom at y 10: opaque y 14..25 -> rows 38..49; x 4..7.
    EXPECT_EQ(pixel_at(px, 64, 4, 49), GREEN);
    EXPECT_EQ(pixel_at(px, 64, 7, 38), GREEN);
    EXPECT_TRUE(is_shadow(pixel_at(px, 64, 8, 40))); // A is 4 wide; its shadow one further
    EXPECT_EQ(pixel_at(px, 64, 9, 40), BG);
    // Line 1 ("B", 5 wide) bottom at y 26: opaque y 30..41 -> rows 22..33.
    EXPECT_EQ(pixel_at(px, 64, 8, 22), GREEN);
    EXPECT_EQ(pixel_at(px, 64, 8, 33), GREEN);
    EXPECT_EQ(pixel_at(px, 64, 4, 21), BG);
}

TEST_F(FontTest, RectsAndBoxes) {
    start_draw_text();
    draw_rect(2, 2, 6, 5, RED); // x 2..5, y 2..4 -> rows 59..61
    draw_box(20, 20, 30, 30, GREEN);
    end_draw_text();
    auto px = readBackBuffer();
    EXPECT_EQ(pixel_at(px, 64, 2, 61), RED);
    EXPECT_EQ(pixel_at(px, 64, 5, 59), RED);
    EXPECT_EQ(pixel_at(px, 64, 6, 60), BG);
    EXPECT_EQ(pixel_at(px, 64, 2, 58), BG);
    // Frame: columns 20 and 30, rows (y up) 20 and 30, nothing inside; the top edge spans
    // x0 + 1 .. x1 only.
    EXPECT_EQ(pixel_at(px, 64, 20, 63 - 25), GREEN);
    EXPECT_EQ(pixel_at(px, 64, 30, 63 - 25), GREEN);
    EXPECT_EQ(pixel_at(px, 64, 25, 63 - 20), GREEN);
    EXPECT_EQ(pixel_at(px, 64, 25, 63 - 30), GREEN);
    EXPECT_EQ(pixel_at(px, 64, 30, 63 - 20), GREEN);
    EXPECT_EQ(pixel_at(px, 64, 30, 63 - 30), BG);
    EXPECT_EQ(pixel_at(px, 64, 25, 63 - 25), BG);
    EXPECT_EQ(pixel_at(px, 64, 31, 63 - 25), BG);
}

TEST_F(FontTest, BatchTextMatchesDrawText) {
    auto direct = drawn("AB\nC", 32, 32, 0, 0, RED);
    clear_view(BG);
    RenderBatch batch;
    vec4f r = batch_text(batch, "AB\nC", -1, 32, 32, 0, 0, RED);
    // Block 11 x 32 centred on (32, 32).
    EXPECT_EQ(r.x, float(32 - 11 / 2));
    EXPECT_EQ(r.y, 16.0f);
    EXPECT_EQ(r.z, r.x + 11);
    EXPECT_EQ(r.w, 48.0f);
    ASSERT_EQ(batch.groups.num, 1);
    int pieces = 0;
    for (RenderBatch::Piece* p = batch.groups[0].first; p; p = p->next) {
        EXPECT_EQ(p->size, 72);
        EXPECT_EQ(p->rect.x, r.x);
        ++pieces;
    }
    EXPECT_EQ(pieces, 6); // three glyphs, each with its shadow
    batch.render();
    EXPECT_EQ(readBackBuffer(), direct);
}

TEST_F(FontTest, TextLongerThanWriterIsDrawnInSeveralDraws) {
    // 960 glyphs x 144 bytes need three buffers; the last glyph lands right-aligned at 60.
    std::string text(960, 'A');
    auto px = drawn(text.c_str(), 60, 60, 1, 1, RED);
    EXPECT_EQ(pixel_at(px, 64, 55, 4), RED);
    EXPECT_EQ(pixel_at(px, 64, 50, 4), RED); // the glyph before it
    EXPECT_FALSE(common_vb_writer.isOpen());
}
