#include "overlay_test_util.h"

#include "render/overlay/dist_font.h"
#include "render/overlay/font.h"
#include "render/overlay/render_batch.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {
const uint32_t BG = 0xFF0000FF, WHITE = 0xFFFFFFFF;

// An uncompressed L8 DDS of one level.
std::string l8_dds(int w, int h, const std::vector<uint8_t>& px) {
    std::string s = "DDS ";
    auto put = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) s.push_back(char(v >> (8 * i)));
    };
    put(124);
    put(0x1 | 0x2 | 0x4 | 0x8 | 0x1000);
    put(uint32_t(h));
    put(uint32_t(w));
    put(uint32_t(w));
    for (int i = 0; i < 13; ++i) put(0);
    put(32);
    put(0x20000);
    put(0);
    put(8);
    put(0xff);
    for (int i = 0; i < 3; ++i) put(0);
    put(0x1000);
    for (int i = 0; i < 4; ++i) put(0);
    s.append(reinterpret_cast<const char*>(px.data()), px.size());
    return s;
}

const char* TEST_FONT = "info face=\"Test\" size=32 spread=4\n"
                        "common lineHeight=40 base=0 scaleW=64 scaleH=32\n"
                        "page id=0 file=\"page\"\n"
                        "chars count=4\n"
                        "char id=65 x=0 y=0 width=20 height=24 xoffset=1 yoffset=22 xadvance=14\n"
                        "char id=66 x=20 y=0 width=18 height=24 xoffset=0 yoffset=22 xadvance=12\n"
                        "char id=67 x=40 y=0 width=0 height=0 xoffset=0 yoffset=0 xadvance=9\n"
                        "char id=32 x=0 y=0 width=0 height=0 xoffset=0 yoffset=0 xadvance=8\n"
                        "kernings count=2\n"
                        "kerning first=65 second=66 amount=-3\n"
                        "kerning first=63 second=66 amount=5\n";

class DistFontTest : public OverlayTest {
  protected:
    DistFont font;

    void SetUp() override {
        OverlayTest::SetUp();
        // Glyph 'A' is solid in texels 4..15 x 4..19 of its 20 x 24 cell.
        std::vector<uint8_t> px(64 * 32, 0);
        for (int y = 4; y < 20; ++y)
            for (int x = 4; x < 16; ++x) px[size_t(y) * 64 + size_t(x)] = 255;
        writeFile("page.dds", l8_dds(64, 32, px));
        writeFile("test.fnt", TEST_FONT);
        init_dist_fonts();
    }
    void TearDown() override {
        font.clear();
        OverlayTest::TearDown();
    }
    // TEST_FONT with one line replaced (or removed when `with` is null).
    std::string edited(const char* line_start, const char* with) {
        std::string s = TEST_FONT;
        size_t at = s.find(line_start);
        EXPECT_NE(at, std::string::npos) << line_start;
        size_t end = s.find('\n', at) + 1;
        s.replace(at, end - at, with ? std::string(with) + "\n" : "");
        return s;
    }
    void expectCleared() {
        EXPECT_EQ(font.size, 0);
        EXPECT_EQ(font.texture, nullptr);
        EXPECT_EQ(font.batchState, nullptr);
        EXPECT_EQ(font.glyphs.num, 0);
        EXPECT_EQ(font.kerningRanges.num, 0);
    }
};

void expect_box(const vec4f& b, float x0, float y0, float x1, float y1) {
    EXPECT_FLOAT_EQ(b.x, x0);
    EXPECT_FLOAT_EQ(b.y, y0);
    EXPECT_FLOAT_EQ(b.z, x1);
    EXPECT_FLOAT_EQ(b.w, y1);
}
} // namespace

TEST_F(DistFontTest, LoadsRangesAndKernings) {
    ASSERT_TRUE(font.load("test.fnt"));
    EXPECT_EQ(font.size, 32);
    EXPECT_EQ(font.spread, 4);
    EXPECT_EQ(font.lineHeight, 40);
    ASSERT_EQ(font.charRanges.num, 2); // 65..67 then 32
    EXPECT_EQ(font.charRanges[0].end, 68);
    EXPECT_EQ(font.getGlyph('B'), &font.glyphs[1]);
    EXPECT_EQ(font.getGlyph(' '), &font.glyphs[3]);
    EXPECT_EQ(font.getGlyph('D'), nullptr);
    EXPECT_FLOAT_EQ(font.glyphs[1].x, 20.0f / 64.0f);
    EXPECT_FLOAT_EQ(font.getKerning('A', 'B'), -3.0f);
    EXPECT_FLOAT_EQ(font.getKerning('?', 'B'), 5.0f);
    EXPECT_FLOAT_EQ(font.getKerning('B', 'A'), 0.0f);
    EXPECT_FLOAT_EQ(font.getKerning(-1, 'B'), 0.0f);
    ASSERT_NE(font.batchState, nullptr);
    EXPECT_EQ(font.batchState->stride, 28);
    EXPECT_EQ(font.batchState->texture, font.texture);
}

TEST_F(DistFontTest, TextBoxKerningAndMissingGlyphs) {
    ASSERT_TRUE(font.load("test.fnt"));
    int n = -1;
    // A at 1..21, B kerned by -3 at 11..29; the origin stays inside; less the spread.
    expect_box(font.calcTextBox("AB", -1, &n), 4, -18, 25, -2);
    EXPECT_EQ(n, 2);
    // '?' is missing: no pen advance, yet it is B's previous character (kerning +5).
    expect_box(font.calcTextBox("A?B", -1, &n), 4, -18, 33, -2);
    EXPECT_EQ(n, 2);
    // A line feed resets the pen and the kerning; C and space have no width.
    expect_box(font.calcTextBox("A\nCB", -1, &n), 4, -18, 23, 38);
    EXPECT_EQ(n, 2);
    expect_box(font.calcTextBox(" C", -1, &n), 0, 0, 0, 0);
    EXPECT_EQ(n, 0);
    expect_box(font.calcTextBox("AB", 1, nullptr), 4, -18, 17, -2);
}

TEST_F(DistFontTest, RenderTextVertices) {
    ASSERT_TRUE(font.load("test.fnt"));
    RenderBatch batch;
    // Size 64 doubles everything; right and bottom alignment in (0, 0, 100, 50).
    font.renderText(batch, make4f(0, 0, 100, 50), DFA_RIGHT | DFA_BOTTOM, WHITE, 64, "AB", -1);
    ASSERT_EQ(batch.groups.num, 1);
    EXPECT_EQ(batch.groups[0].state, font.batchState);
    RenderBatch::Piece* p = batch.groups[0].first;
    EXPECT_EQ(p->size, 2 * 168);
    EXPECT_EQ(p->primCount, 4);
    expect_box(p->rect, 50, 10, 108, 58);
    auto* v = reinterpret_cast<DistFontVertex*>(p->data());
    EXPECT_FLOAT_EQ(v[0].x, 52);
    EXPECT_FLOAT_EQ(v[0].y, 10);
    EXPECT_FLOAT_EQ(v[2].x, 92);
    EXPECT_FLOAT_EQ(v[2].y, 58);
    EXPECT_FLOAT_EQ(v[2].u, 20.0f / 64.0f);
    EXPECT_FLOAT_EQ(v[2].v, 24.0f / 32.0f);
    EXPECT_FLOAT_EQ(v[5].x, 52);
    EXPECT_FLOAT_EQ(v[5].y, 58);
    EXPECT_FLOAT_EQ(v[6].x, 72); // B: pen 14, kerning -3, scaled
    EXPECT_EQ(v[0].params, v[11].params);

    // Centred on both axes (flags 0 and 3 alike).
    RenderBatch centred;
    font.renderText(centred, make4f(0, 0, 100, 50), 0, WHITE, 64, "AB", -1);
    font.renderText(centred, make4f(0, 0, 100, 50), 15, WHITE, 64, "AB", -1);
    auto* c = reinterpret_cast<DistFontVertex*>(centred.groups[0].first->data());
    auto* c3 = reinterpret_cast<DistFontVertex*>(centred.groups[0].last->data());
    EXPECT_FLOAT_EQ(c[0].x, (0 - 8 + 100 - 50) / 2.0f + 2);
    EXPECT_FLOAT_EQ(c[0].x, c3[0].x);
    EXPECT_FLOAT_EQ(c[0].y, c3[0].y);
}

TEST_F(DistFontTest, PackedParameters) {
    ASSERT_TRUE(font.load("test.fnt"));
    // Scale 1, spread 4: edge 0 -> 0.5 - 1/16; x offset 1% -> 0.5 - 32 x 0.32 / 64;
    // no y offset -> 0.5; outer edge 1 -> 0.5 - 2/16.
    EXPECT_EQ(pack_dist_font_params(font, 32, 0, 1, 0, 1), 0x70578060u);
    // Values beyond 0..1 clamp.
    EXPECT_EQ(pack_dist_font_params(font, 32, -20, -100, 100, 100) & 0xFFFFFF00u, 0xFFFF0000u);
}

TEST_F(DistFontTest, MalformedDescriptionsFailCleanly) {
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"info fields", edited("info", "info face=\"Test\" size=32")},
        {"zero page width", edited("common", "common lineHeight=40 base=0 scaleW=0 scaleH=32")},
        {"field count", edited("char id=66", "char id=66 x=20 y=0 width=18")},
        {"negative id", edited("char id=66", "char id=-5 x=20 y=0 width=18 height=24 xoffset=0 "
                                             "yoffset=22 xadvance=12")},
        {"chars past the end", edited("chars count", "chars count=7")},
        {"kernings past the end", edited("kernings count", "kernings count=3")},
        {"no kernings line", edited("kernings count", nullptr)},
        {"kerning id", edited("kerning first=63", "kerning first=63 second=-2 amount=5")},
        {"missing page", edited("page", "page id=0 file=\"nopage\"")},
        {"malformed page", edited("page", "page id=0 file=\"test.fnt\"")},
        {"page is a folder", edited("page", "page id=0 file=\"folder\"")},
        {"long line", edited("chars count", (std::string(300, ' ') + "chars count=4").c_str())},
    };
    writeFile("test.fnt.dds", "DDS not really");
    mkdir(path("folder.dds").c_str(), 0755); // a page that is a folder is no page
    for (const Case& c : cases) {
        ASSERT_TRUE(font.load("test.fnt")) << c.what;
        Texture* tex = font.texture;
        writeFile("bad.fnt", c.text);
        EXPECT_FALSE(font.load("bad.fnt")) << c.what;
        expectCleared();
        EXPECT_EQ(get_texture_refcount(tex), 0) << c.what;
    }
    EXPECT_FALSE(font.load("no such file.fnt"));
    // No characters needs no kerning line.
    writeFile("empty.fnt", "info face=\"E\" size=8 spread=1\ncommon lineHeight=9 base=0 "
                           "scaleW=4 scaleH=4\npage id=0 file=\"page\"\nchars count=0\n");
    EXPECT_TRUE(font.load("empty.fnt"));
    EXPECT_EQ(font.glyphs.num, 0);
}

TEST_F(DistFontTest, ReloadKeepsTheBatchState) {
    ASSERT_TRUE(font.load("test.fnt"));
    DistFontBatchState* state = font.batchState;
    Texture* tex = font.texture;
    ASSERT_TRUE(font.load("test.fnt"));
    EXPECT_EQ(font.batchState, state);
    EXPECT_EQ(font.texture, tex);
    EXPECT_EQ(get_texture_refcount(tex), 1);
    font.clear();
    EXPECT_EQ(get_texture_refcount(tex), 0);
}

TEST_F(DistFontTest, GlyphLandsWhereLaidOut) {
    ASSERT_TRUE(font.load("test.fnt"));
    RenderBatch batch;
    // Box of "A" is (4, -18, 17, -2): top-left alignment at (10, 10) puts the origin at
    // (6, 28) and the solid texels 4..15 x 4..19 at x 11..22, y 10..25.
    font.renderText(batch, make4f(10, 10, 60, 60), DFA_LEFT | DFA_TOP, WHITE, 32, "A", -1);
    set_backbuffer_target();
    clear_view(BG);
    start_dist_font_render();
    batch.render();
    end_dist_font_render();
    auto px = readBackBuffer();
    EXPECT_EQ(pixel_at(px, 64, 12, 11), WHITE);
    EXPECT_EQ(pixel_at(px, 64, 21, 24), WHITE);
    EXPECT_EQ(pixel_at(px, 64, 16, 18), WHITE);
    EXPECT_EQ(pixel_at(px, 64, 9, 18), BG);
    EXPECT_EQ(pixel_at(px, 64, 24, 18), BG);
    EXPECT_EQ(pixel_at(px, 64, 16, 8), BG);
    EXPECT_EQ(pixel_at(px, 64, 16, 27), BG);
}

namespace {
class GeneratedFontTest : public OverlayTest {
  protected:
    GeneratedFontTest() {
        width = 256;
        height = 64;
    }
};
} // namespace

// The font the build makes: it loads, lays out sensibly and draws inside its piece.
TEST_F(GeneratedFontTest, LoadsAndDrawsInsideItsPiece) {
    for (const char* name : {"default_font.fnt", "default_font.dds"}) {
        std::ifstream in(std::string(VELTMOOR_BUILD_APP_DIR) + "/" + name, std::ios::binary);
        ASSERT_TRUE(in) << name;
        std::stringstream data;
        data << in.rdbuf();
        writeFile(name, data.str());
    }
    init_dist_fonts();
    ASSERT_TRUE(default_font.load("default_font.fnt"));
    EXPECT_GT(default_font.kernings.num, 100);
    int n = 0;
    vec4f box = default_font.calcTextBox("Veltmoor AVA", -1, &n);
    EXPECT_EQ(n, 11);
    EXPECT_GT(box.z - box.x, 150.0f);
    EXPECT_LT(box.y, -20.0f); // capitals rise above the base line

    RenderBatch batch;
    default_font.renderText(batch, make4f(0, 0, 256, 64), 0, WHITE, 24, "Veltmoor AVA", -1);
    default_font.renderText(batch, make4f(0, 0, 256, 32), DFA_LEFT | DFA_TOP, 0xFFFFCC00, 12,
                            "Small text: 0123456789", -1, 0, 0, 0, 0, 0);
    set_backbuffer_target();
    clear_view(0xFF000000);
    start_dist_font_render();
    batch.render();
    end_dist_font_render();
    auto px = readBackBuffer();
    const vec4f r = batch.groups[0].first->rect;
    int lit = 0, outside = 0;
    for (int y = 32; y < 64; ++y)
        for (int x = 0; x < 256; ++x) {
            if (px[size_t(y) * 256 + size_t(x)] == 0xFF000000) continue;
            bool in = x >= r.x && x < r.z + 1 && y >= r.y && y < r.w + 1;
            (in ? lit : outside)++;
        }
    EXPECT_GT(lit, 200);
    EXPECT_EQ(outside, 0);
    if (const char* out = getenv("VELTMOOR_TEST_OUT")) {
        std::vector<uint32_t> rgba(px.size());
        for (size_t i = 0; i < px.size(); ++i) // ARGB -> RGBA bytes
            rgba[i] = (px[i] & 0xFF00FF00) | (px[i] >> 16 & 0xFF) | (px[i] & 0xFF) << 16;
        stbi_write_png((std::string(out) + "/dist_font.png").c_str(), 256, 64, 4, rgba.data(),
                       256 * 4);
    }
    default_font.clear();
}

// The bitmap font the build makes: cut into a grid and drawn inside its block.
TEST_F(GeneratedFontTest, BitmapFontFromTheBuild) {
    std::ifstream in(std::string(VELTMOOR_BUILD_APP_DIR) + "/font.tga", std::ios::binary);
    ASSERT_TRUE(in);
    std::stringstream data;
    data << in.rdbuf();
    writeFile("font.tga", data.str());
    init_font();
    const char* text = "Veltmoor 0123";
    int w = 0, h = 0;
    calc_text_size(text, -1, w, h);
    EXPECT_GT(w, 40);
    EXPECT_EQ(h, get_font_cell_height() * get_font_scale());
    set_backbuffer_target();
    clear_view(0xFF000000);
    start_draw_text();
    draw_text(text, -1, 8, 32, -1, 0, WHITE);
    end_draw_text();
    auto px = readBackBuffer();
    // Block: x 8 .. 8 + w, y (up) 32 - h / 2 .. 32 + h / 2; the shadow adds a pixel.
    int lit = 0, outside = 0;
    for (int row = 0; row < 64; ++row)
        for (int x = 0; x < 256; ++x) {
            if (px[size_t(row) * 256 + size_t(x)] == 0xFF000000) continue;
            const int y = 63 - row;
            bool in = x >= 8 && x <= 8 + w && y >= 32 - h / 2 - 1 && y < 32 + h / 2;
            (in ? lit : outside)++;
        }
    EXPECT_GT(lit, 100);
    EXPECT_EQ(outside, 0);
    if (const char* out = getenv("VELTMOOR_TEST_OUT")) {
        std::vector<uint32_t> rgba(px.size());
        for (size_t i = 0; i < px.size(); ++i)
            rgba[i] = (px[i] & 0xFF00FF00) | (px[i] >> 16 & 0xFF) | (px[i] & 0xFF) << 16;
        stbi_write_png((std::string(out) + "/bitmap_font.png").c_str(), 256, 64, 4, rgba.data(),
                       256 * 4);
    }
}
