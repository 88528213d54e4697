#include "overlay_test_util.h"

#include "render/overlay/dyn_vb_writer.h"
#include "render/overlay/render_batch.h"

#include <cstring>
#include <vector>

namespace {
struct Draw {
    int arg, count;
};
std::vector<Draw> draws;
void record_draw(int count, int arg) {
    draws.push_back({arg, count});
}

// Draws nothing on the device: records each draw with the state's id.
class RecordingState : public BaseRenderBatchState {
  public:
    explicit RecordingState(int i) : id(i) {}
    int id;
    void apply(BaseRenderBatchState*) override { common_vb_writer.begin(record_draw, id); }
};

vec4f rc(float x0, float y0, float x1, float y1) {
    return make4f(x0, y0, x1, y1);
}

class BatchTest : public OverlayTest {
  protected:
    void SetUp() override {
        OverlayTest::SetUp();
        draws.clear();
    }
    RecordingState a{1}, b{2};
    RenderBatch batch;

    void addQuad(BaseRenderBatchState* s, const vec4f& r, uint8_t fill = 0) {
        void* p = batch.add(s, r, 72, 2);
        memset(p, fill, 72);
    }
};
} // namespace

TEST_F(BatchTest, SameStateJoinsAcrossNonOverlappingPiece) {
    addQuad(&a, rc(0, 0, 10, 10));
    addQuad(&b, rc(20, 0, 30, 10));
    addQuad(&a, rc(40, 0, 50, 10));
    ASSERT_EQ(batch.groups.num, 2);
    EXPECT_EQ(batch.groups[0].rect.z, 50.0f); // union of both pieces
    batch.render();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].arg, 1);
    EXPECT_EQ(draws[0].count, 4);
    EXPECT_EQ(draws[1].arg, 2);
    EXPECT_EQ(draws[1].count, 2);
}

TEST_F(BatchTest, OverlapKeepsCallOrder) {
    addQuad(&a, rc(0, 0, 10, 10));
    addQuad(&b, rc(20, 0, 30, 10));
    addQuad(&a, rc(25, 5, 35, 15)); // covers part of b's piece
    ASSERT_EQ(batch.groups.num, 3);
    batch.render();
    ASSERT_EQ(draws.size(), 3u);
    EXPECT_EQ(draws[0].arg, 1);
    EXPECT_EQ(draws[1].arg, 2);
    EXPECT_EQ(draws[2].arg, 1);
}

TEST_F(BatchTest, OverlapIsTestedPerPieceNotOnlyGroupBounds) {
    // b's group spans 0..100 but its pieces leave a hole where the new piece goes.
    addQuad(&a, rc(40, 40, 60, 60));
    addQuad(&b, rc(0, 0, 10, 10));
    addQuad(&b, rc(90, 90, 100, 100));
    addQuad(&a, rc(45, 45, 55, 55));
    EXPECT_EQ(batch.groups.num, 2);
}

TEST_F(BatchTest, EdgeContactRules) {
    // Touching along the new piece's far edge (N.x1 == R.x0) is not an overlap.
    addQuad(&a, rc(0, 0, 10, 10));
    addQuad(&b, rc(20, 0, 30, 10));
    addQuad(&a, rc(10, 0, 20, 10));
    EXPECT_EQ(batch.groups.num, 2);
    batch.clear();
    // Touching along its near edge (N.x0 == R.x1) is.
    addQuad(&a, rc(0, 0, 10, 10));
    addQuad(&b, rc(20, 0, 30, 10));
    addQuad(&a, rc(30, 0, 40, 10));
    EXPECT_EQ(batch.groups.num, 3);
}

TEST_F(BatchTest, PiecesKeepTheirBytesAndAlignment) {
    addQuad(&a, rc(0, 0, 1, 1), 0x11);
    void* p = batch.add(&b, rc(5, 5, 6, 6), 5, 1);
    memset(p, 0x22, 5);
    addQuad(&a, rc(0, 0, 1, 1), 0x33);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    RenderBatch::Piece* first = batch.groups[0].first;
    EXPECT_EQ(first->data()[71], 0x11);
    EXPECT_EQ(first->next->data()[0], 0x33);
    EXPECT_EQ(first->next, batch.groups[0].last);
    EXPECT_EQ(batch.groups[1].first->size, 5);
}

TEST_F(BatchTest, ClearReusesArenaPages) {
    RenderBatch small(1024);
    for (int i = 0; i < 40; ++i) small.add(&a, rc(0, 0, 1, 1), 72, 2);
    std::vector<AccumAlloc::Page*> pages;
    for (AccumAlloc::Page* p = small.arena.pages; p; p = p->next) pages.push_back(p);
    EXPECT_GT(pages.size(), 1u);
    small.clear();
    EXPECT_EQ(small.groups.num, 0);
    for (int i = 0; i < 40; ++i) {
        auto* at = static_cast<uint8_t*>(small.add(&a, rc(0, 0, 1, 1), 72, 2));
        bool inside = false;
        for (AccumAlloc::Page* p : pages)
            inside |= at >= reinterpret_cast<uint8_t*>(p + 1) && at + 72 <= p->end;
        EXPECT_TRUE(inside) << i;
    }
    std::vector<AccumAlloc::Page*> after;
    for (AccumAlloc::Page* p = small.arena.pages; p; p = p->next) after.push_back(p);
    EXPECT_EQ(after, pages);
}

TEST_F(BatchTest, PieceLargerThanPageGetsItsOwnPage) {
    RenderBatch small(256);
    void* p = small.add(&a, rc(0, 0, 1, 1), 4000, 1);
    memset(p, 1, 4000); // the sanitizer run checks the bounds
    EXPECT_EQ(small.arena.pageCount(), 2);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
}

TEST_F(BatchTest, RenderFlushesWhenTheWriterFills) {
    // 1000 pieces of 72 bytes do not fit 64 KB at once: two draws, no primitive lost.
    for (int i = 0; i < 1000; ++i) addQuad(&a, rc(0, 0, 1, 1));
    batch.render();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].count + draws[1].count, 2000);
    EXPECT_EQ(draws[0].count, 2 * (COMMON_VB_SIZE / 72));
    EXPECT_FALSE(common_vb_writer.isOpen());
}

TEST_F(BatchTest, PieceLargerThanWriterIsFatal) {
    batch.add(&a, rc(0, 0, 1, 1), COMMON_VB_SIZE + 16, 1);
    EXPECT_EXIT(batch.render(), testing::ExitedWithCode(100),
                "batch vertex buffer is not large enough");
}

// [SECTION] writer

TEST_F(BatchTest, WriterFlushRules) {
    DynVBWriter& w = common_vb_writer;
    w.flush(true); // no run: nothing
    EXPECT_TRUE(draws.empty());
    uint8_t* start = w.begin(record_draw, 7);
    ASSERT_NE(start, nullptr);
    w.flush(false); // nothing counted: nothing happens
    EXPECT_TRUE(draws.empty());
    EXPECT_TRUE(w.isOpen());
    w.cur += 48;
    w.count = 3;
    w.flush(false); // draws and continues at the start
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].count, 3);
    EXPECT_EQ(draws[0].arg, 7);
    EXPECT_TRUE(w.isOpen());
    EXPECT_EQ(w.cur, w.start);
    EXPECT_EQ(w.count, 0);
    w.flush(true); // nothing counted: closes without a draw
    EXPECT_EQ(draws.size(), 1u);
    EXPECT_FALSE(w.isOpen());
    EXPECT_EQ(w.renderFunc, nullptr);
}

TEST_F(BatchTest, WriterMisuseAsserts) {
    DynVBWriter& w = common_vb_writer;
    EXPECT_EXIT(
        {
            w.begin(record_draw, 0);
            w.begin(record_draw, 0);
        },
        testing::ExitedWithCode(100), "failed ASSERT\\(!startPtr\\)");
    EXPECT_EXIT(
        {
            w.begin(record_draw, 0);
            w.create(1024);
        },
        testing::ExitedWithCode(100), "failed ASSERT\\(!startPtr\\)");
    EXPECT_EXIT(
        {
            DynVBWriter none;
            none.begin(record_draw, 0);
        },
        testing::ExitedWithCode(100), "failed ASSERT\\(vb\\)");
    EXPECT_EXIT(
        {
            w.count = 1;
            w.flush(false);
        },
        testing::ExitedWithCode(100), "failed ASSERT\\(startPtr && renderFunc\\)");
}
