#include "overlay_test_util.h"

#include "render/overlay/debug_vis.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/overlay/font.h"
#include "render/overlay/text_overlay.h"

#include <cstring>
#include <string>

namespace {
const uint32_t BG = 0xFF0000FF, WHITE = 0xFFFFFFFF;

class TextOverlayTest : public OverlayTest {
  protected:
    TextOverlayTest() { width = height = 256; }
    void SetUp() override {
        OverlayTest::SetUp();
        initTestFont();
        set_error_message(nullptr);
        clear_visual_log();
    }
    void TearDown() override {
        set_error_message(nullptr);
        clear_visual_log();
        OverlayTest::TearDown();
    }
    std::vector<uint32_t> drawOverlay(void (*draw)()) {
        set_backbuffer_target();
        clear_view(BG);
        start_draw_text();
        draw();
        end_draw_text();
        return readBackBuffer();
    }
    static uint32_t at(const std::vector<uint32_t>& px, int x, int y_up) {
        return pixel_at(px, 256, x, 255 - y_up);
    }
};
} // namespace

// [SECTION] visual log

TEST_F(TextOverlayTest, VisualLogKeepsTheLastHundredLines) {
    for (int i = 1; i <= 101; ++i) visual_log("line %d", i);
    EXPECT_EQ(visual_log_count(), 100);
    EXPECT_STREQ(visual_log_line(0), "line 2");
    EXPECT_STREQ(visual_log_line(99), "line 101");
    visual_log("%s", std::string(300, 'x').c_str());
    EXPECT_EQ(strlen(visual_log_line(99)), 127u);
    clear_visual_log();
    EXPECT_EQ(visual_log_count(), 0);
}

TEST_F(TextOverlayTest, VisualLogDrawsNewestLowest) {
    visual_log("A");
    visual_log("B");
    auto px = drawOverlay(draw_visual_log);
    // Scale 2, x = 2 x 16; line 0 at y 64, line 1 at y 32; glyph rows 4..15 are opaque.
    EXPECT_EQ(at(px, 33, 80), WHITE); // "A"
    EXPECT_EQ(at(px, 39, 95), WHITE);
    EXPECT_EQ(at(px, 33, 50), WHITE); // "B" below it
    EXPECT_EQ(at(px, 41, 50), WHITE); // B is 5 texels wide, scaled twice
    EXPECT_EQ(at(px, 33, 100), BG);
    EXPECT_EQ(at(px, 30, 80), BG);
    EXPECT_EQ(get_font_scale(), 1); // restored
}

// [SECTION] error message

TEST_F(TextOverlayTest, AppendErrorMessage) {
    append_error_message("abc", -1); // empty message: no leading line feed
    EXPECT_STREQ(get_error_message(), "abc");
    append_error_message("defgh", 2);
    EXPECT_STREQ(get_error_message(), "abc\nde");
    append_error_message(nullptr, 3);
    append_error_message("x", 0);
    EXPECT_STREQ(get_error_message(), "abc\nde");
    set_error_message("");
    EXPECT_FALSE(has_error_message());
    set_error_message("new");
    EXPECT_STREQ(get_error_message(), "new");
}

TEST_F(TextOverlayTest, ErrorMessageBandAndText) {
    set_error_message("X");
    auto px = drawOverlay(draw_error_message);
    // Band from y = 256 - 12 x 16 to the top: 0xCC660000 over blue.
    uint32_t band = at(px, 5, 100);
    EXPECT_NEAR(int(band >> 16 & 0xFF), 0x66 * 0xCC / 255, 2);
    EXPECT_NEAR(int(band & 0xFF), 0x33, 2);
    EXPECT_EQ(at(px, 5, 60), BG);
    // "X" (7 texels, scale 2, block 16 wide) centred at 128 with its top at 240.
    EXPECT_EQ(at(px, 121, 239), 0xFFFFEE00);
    EXPECT_EQ(at(px, 133, 216), 0xFFFFEE00);
    EXPECT_NE(at(px, 121, 241), 0xFFFFEE00);

    set_error_message(nullptr);
    px = drawOverlay(draw_error_message);
    EXPECT_EQ(at(px, 5, 100), BG);
}

// [SECTION] splash

TEST_F(TextOverlayTest, SplashProgressBar) {
    // Bar: x 96..159, y 16..39 (y up); the text centred at (128, 64).
    const uint32_t CLEAR = 0xFF000A28, BLACK = 0xFF000000, GREEN = 0xFF32960A;
    show_splash("Loading...", 0);
    auto px = readPresented();
    EXPECT_EQ(at(px, 96, 16), BLACK);
    EXPECT_EQ(at(px, 159, 39), BLACK);
    EXPECT_EQ(at(px, 95, 28), CLEAR);
    EXPECT_EQ(at(px, 160, 28), CLEAR);
    EXPECT_EQ(at(px, 128, 40), CLEAR);
    int white = 0;
    for (int y = 56; y < 72; ++y)
        for (int x = 100; x < 156; ++x) white += at(px, x, y) == WHITE;
    EXPECT_GT(white, 100);

    show_splash("Loading...", 1);
    px = readPresented();
    EXPECT_EQ(at(px, 96, 16), GREEN);
    EXPECT_EQ(at(px, 159, 39), GREEN);
    EXPECT_EQ(at(px, 160, 28), CLEAR);

    show_splash("Loading...", 0.5f);
    px = readPresented();
    EXPECT_EQ(at(px, 127, 28), GREEN);
    EXPECT_EQ(at(px, 128, 28), BLACK);

    show_splash("Generating new world...", -1);
    px = readPresented();
    EXPECT_EQ(at(px, 128, 28), CLEAR);
    EXPECT_STREQ(get_splash_text(), "Generating new world...");
    show_splash(nullptr, -1);
    EXPECT_STREQ(get_splash_text(), "");
}

TEST_F(TextOverlayTest, SplashTextLimit) {
    std::string text(255, 'a');
    show_splash(text.c_str(), -1);
    EXPECT_EQ(strlen(get_splash_text()), 255u);
    text += 'a';
    EXPECT_EXIT(show_splash(text.c_str(), -1), testing::ExitedWithCode(100),
                "failed ASSERT\\(l<BS\\)");
}

// [SECTION] debug visualisation

namespace {
class DebugVisTest : public OverlayTest {
  protected:
    void SetUp() override {
        OverlayTest::SetUp();
        init_debug_vis();
        Matrix44 id = {};
        for (int i = 0; i < 4; ++i) id.m[i][i] = 1;
        set_view_tm(id);
        set_proj_tm(id); // positions are clip coordinates
        set_backbuffer_target();
        clear_view(BG);
    }
};
const uint32_t RED = 0xFFFF0000, GREEN = 0xFF00FF00;
} // namespace

TEST_F(DebugVisTest, SwitchingLinesToTrianglesDrawsPendingLines) {
    start_draw_debug_vis();
    for (float y : {0.5f, 0.0f, -0.5f})
        draw_debug_vis_line(make4f(-1, y, 0.5f, 1), make4f(1, y, 0.5f, 1), RED, RED);
    DynVBWriter& w = common_vb_writer;
    EXPECT_EQ(w.count, 3);
    EXPECT_EQ(w.cur - w.start, 3 * 32);
    EXPECT_NE(w.renderFunc, draw_tri_list);
    draw_debug_vis_tri(make4f(-1, -1, 0.5f, 1), make4f(-1, -0.6f, 0.5f, 1),
                       make4f(-0.6f, -1, 0.5f, 1), GREEN, GREEN, GREEN);
    // The lines went out as one draw; the run now holds the triangle alone.
    EXPECT_EQ(w.count, 1);
    EXPECT_EQ(w.cur - w.start, 48);
    EXPECT_EQ(w.renderFunc, draw_tri_list);
    end_draw_debug_vis();
    EXPECT_FALSE(w.isOpen());
    auto px = readBackBuffer();
    for (int row : {16, 32, 48}) {
        bool hit = false;
        for (int r = row - 1; r <= row; ++r) hit |= pixel_at(px, 64, 40, r) == RED;
        EXPECT_TRUE(hit) << row;
    }
    EXPECT_EQ(pixel_at(px, 64, 40, 24), BG);
    EXPECT_EQ(pixel_at(px, 64, 2, 61), GREEN);
}

TEST_F(DebugVisTest, BoxesAndCrosses) {
    start_draw_debug_vis();
    // Corners in any order; expanded by 0.1: x and y -0.6..0.6.
    draw_debug_vis_solid_box(make4f(0.5f, 0.5f, 0.5f, 1), make4f(-0.5f, -0.5f, 0.2f, 1), GREEN,
                             0.1f);
    EXPECT_EQ(common_vb_writer.count, 12);
    draw_debug_vis_wire_box(make4f(-0.9f, -0.9f, 0.1f, 1), make4f(0.9f, 0.9f, 0.9f, 1), RED);
    EXPECT_EQ(common_vb_writer.count, 12);
    draw_debug_vis_cross_point(make4f(0, 0, 0.5f, 1), 0.2f, RED);
    EXPECT_EQ(common_vb_writer.count, 15);
    end_draw_debug_vis();
    auto px = readBackBuffer();
    EXPECT_EQ(pixel_at(px, 64, 20, 20), GREEN);
    EXPECT_EQ(pixel_at(px, 64, 49, 40), GREEN);
    EXPECT_EQ(pixel_at(px, 64, 53, 40), BG);
    EXPECT_EQ(pixel_at(px, 64, 40, 9), BG);
    int red = 0;
    for (int y = 0; y < 64; ++y) {
        bool hit = false;
        for (int x = 2; x <= 4; ++x) hit |= pixel_at(px, 64, x, y) == RED;
        red += hit;
    }
    EXPECT_GT(red, 40); // the wire box's left edges
}
