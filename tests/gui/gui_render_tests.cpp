#include "../render_overlay/overlay_test_util.h"
#include "gui/gui.h"
#include "render/overlay/dist_font.h"

#include <fstream>
#include <sstream>

namespace {
const uint32_t WHITE = 0xFFFFFFFF, RED = 0xFFFF0000;

class GuiRenderTest : public OverlayTest {
  protected:
    void SetUp() override {
        OverlayTest::SetUp();
        for (const char* name : {"roundedBox.sh", "uiImage.sh"}) {
            std::ifstream in(std::string(VELTMOOR_SOURCE_DATA) + "/" + name);
            ASSERT_TRUE(in) << name;
            std::stringstream text;
            text << in.rdbuf();
            writeFile(name, text.str());
        }
        init_rounded_box_render();
        init_ui_image_render();
    }
    void TearDown() override {
        close_gui_render();
        OverlayTest::TearDown();
    }
    std::vector<uint32_t> drawBatch() {
        set_backbuffer_target();
        clear_view(WHITE);
        render_gui_batch();
        return readBackBuffer();
    }
    static int red(uint32_t c) { return int(c >> 16 & 255); }
};

TEST_F(GuiRenderTest, RoundedBoxVertices) {
    RenderBatch batch;
    render_rounded_box(batch, make4f(10, 20, 41, 60), make4f(4, 300, -2, 8), RED, 2, 3, -5, 6,
                       0x80000000, 1);
    ASSERT_EQ(batch.groups.num, 1);
    RenderBatch::Piece* p = batch.groups[0].first;
    EXPECT_EQ(p->size, 192);
    EXPECT_EQ(p->primCount, 2);
    // Grown by the softness (2), and by blur + spread (7) around the shadow's place.
    EXPECT_EQ(p->rect.x, 6.0f);
    EXPECT_EQ(p->rect.y, 8.0f);
    EXPECT_EQ(p->rect.z, 51.0f);
    EXPECT_EQ(p->rect.w, 62.0f);
    auto* v = reinterpret_cast<RoundedBoxVertex*>(p->data());
    EXPECT_EQ(v[0].cx, 26); // 25.5 rounded
    EXPECT_EQ(v[0].cy, 40);
    EXPECT_EQ(v[0].w, 31);
    EXPECT_EQ(v[0].h, 40);
    EXPECT_EQ(v[0].radii, 0x0804FF00u); // red 4, green 255 (clamped), blue 0, alpha 8
    EXPECT_EQ(v[0].params, (2u << 24) | (131u << 16) | (123u << 8) | 134u);
    EXPECT_EQ(v[0].shadowColor, 0x80000000u);
    EXPECT_EQ(v[0].shadowSpread, 1.0f);
    const int16_t corners[6][2] = {{6, 8}, {51, 8}, {51, 62}, {6, 8}, {51, 62}, {6, 62}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(v[i].x, corners[i][0]) << i;
        EXPECT_EQ(v[i].y, corners[i][1]) << i;
    }
    // Without a shadow the quad is the box grown by at least half a pixel.
    batch.clear();
    render_rounded_box(batch, make4f(10, 20, 40, 60), make4f(0), RED, 0, 30, 30, 9, 0, -1);
    EXPECT_EQ(batch.groups[0].first->rect.x, 9.5f);
    EXPECT_EQ(batch.groups[0].first->rect.z, 40.5f);
}

TEST_F(GuiRenderTest, RoundedBoxWithSoftShadowPixels) {
    render_rounded_box(gui_batch, make4f(16, 16, 48, 48), make4f(8), RED, 0.5f, 4, 4, 3, 0xFF000000,
                       0);
    auto px = drawBatch();
    auto at = [&](int x, int y) { return pixel_at(px, 64, x, y); };
    EXPECT_EQ(at(32, 32), RED);
    EXPECT_EQ(at(16, 32), RED); // the box fills pixels 16..47 like a solid quad
    EXPECT_EQ(at(47, 32), RED);
    EXPECT_EQ(at(32, 16), RED);
    EXPECT_EQ(at(15, 32), WHITE); // no shadow to the left (offset is to the right)
    EXPECT_EQ(at(32, 15), WHITE);
    EXPECT_EQ(at(16, 16), WHITE); // cut away by the rounded corner
    EXPECT_NE(at(17, 17), RED);
    EXPECT_EQ(at(19, 19), RED);
    // The shadow right of and below the box, fading outwards.
    EXPECT_LT(red(at(49, 32)), 0x60);
    EXPECT_LT(red(at(49, 32)), red(at(51, 32)));
    EXPECT_LT(red(at(51, 32)), red(at(53, 32)));
    EXPECT_EQ(at(56, 32), WHITE);
    EXPECT_LT(red(at(32, 49)), 0x60);
    EXPECT_EQ(at(32, 56), WHITE);
    EXPECT_EQ(pixel_at(px, 64, 40, 49) & 0xFFFF, pixel_at(px, 64, 40, 49) >> 8 & 0xFFFF);
}

TEST_F(GuiRenderTest, TranslucentBoxDoesNotShowItsShadowInside) {
    render_rounded_box(gui_batch, make4f(16, 16, 48, 48), make4f(0), 0x80FF0000, 0.5f, 8, 8, 2,
                       0xFF000000, 0);
    auto px = drawBatch();
    uint32_t inside_shadow = pixel_at(px, 64, 44, 44), plain = pixel_at(px, 64, 20, 20);
    EXPECT_EQ(inside_shadow, plain);
    EXPECT_GT(red(plain), 0xF0);
    EXPECT_LT(plain & 0xFF, 0x90); // half red over white
    EXPECT_LT(red(pixel_at(px, 64, 52, 52)), 0x10);
}

TEST_F(GuiRenderTest, UiImageVertices) {
    StdRenderBatchState state;
    init_ui_image_state(state, nullptr);
    EXPECT_EQ(state.stride, 20);
    EXPECT_NE(state.shader, nullptr);
    RenderBatch batch;
    render_ui_image(batch, &state, make4f(1, 2, 3, 4), 0xFF123456, make4f(0.25f, 0.5f, 0.75f, 1));
    RenderBatch::Piece* p = batch.groups[0].first;
    EXPECT_EQ(p->size, 120);
    auto* v = reinterpret_cast<UiImageVertex*>(p->data());
    const float want[6][4] = {{1, 2, 0.25f, 0.5f}, {3, 2, 0.75f, 0.5f}, {3, 4, 0.75f, 1},
                              {1, 2, 0.25f, 0.5f}, {3, 4, 0.75f, 1},    {1, 4, 0.25f, 1}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(v[i].x, want[i][0]) << i;
        EXPECT_EQ(v[i].y, want[i][1]) << i;
        EXPECT_EQ(v[i].u, want[i][2]) << i;
        EXPECT_EQ(v[i].v, want[i][3]) << i;
        EXPECT_EQ(v[i].color, 0xFF123456u);
    }
}
} // namespace
