#include "actors/proximity.h"

#include <gtest/gtest.h>
#include <vector>

namespace {
class ProximityTest : public ::testing::Test {
  protected:
    BaseObject a, b;
    void TearDown() override {
        remove_proximity_object(&a);
        remove_proximity_object(&b);
        for (ProximityBin& bin : proximity) bin.clear();
    }
    static int bin(float x0, float y0, float x1, float y1) {
        const float r[4] = {x0, y0, x1, y1};
        return proximity_bin_of(r);
    }
    static std::vector<int> query(float x0, float y0, float x1, float y1, bool skip_large) {
        ProximityQuery q;
        const float r[4] = {x0, y0, x1, y1};
        q.proximityQuery(r, skip_large);
        return std::vector<int>(q.bins.begin(), q.bins.end());
    }
};
} // namespace

TEST_F(ProximityTest, BinsBySize) {
    EXPECT_EQ(bin(17, 9, 18, 10), 1 * 32 + 2);     // fine cell (2, 1)
    EXPECT_EQ(bin(15.5f, 9, 16.5f, 10), 1024 + 1); // straddles x = 16
    EXPECT_EQ(bin(7.5f, 9, 12.5f, 10), 1280);      // straddles x = 8 and the coarse edge x = 12
    EXPECT_EQ(bin(0, 0, 20, 1), 1280);             // 20 units wide
    EXPECT_EQ(bin(-1, -1, -0.5f, -0.5f), 31 * 32 + 31);                // wraps below 0
    EXPECT_EQ(bin(17 + 256, 9 + 512, 18 + 256, 10 + 512), 1 * 32 + 2); // and beyond 256
}

TEST_F(ProximityTest, MovingAndRemovingKeepsOrder) {
    const float here[4] = {1, 1, 2, 2}, there[4] = {100, 1, 101, 2};
    update_proximity(&a, here);
    update_proximity(&b, here);
    ASSERT_EQ(a.proximity_bin, 0);
    update_proximity(&a, here); // same bin: nothing happens
    EXPECT_EQ(proximity[0].num, 2);
    update_proximity(&a, there);
    EXPECT_EQ(a.proximity_bin, 12);
    ASSERT_EQ(proximity[0].num, 1);
    EXPECT_EQ(proximity[0][0], &b);
    remove_proximity_object(&a);
    remove_proximity_object(&a); // harmless: its bin is -1 now
    remove_proximity_object(nullptr);
    EXPECT_EQ(a.proximity_bin, -1);
    EXPECT_EQ(proximity[12].num, 0);
}

TEST_F(ProximityTest, QueriesListNonEmptyBinsFineCoarseThenLarge) {
    const float small[4] = {9, 9, 10, 10}, wide[4] = {15, 1, 17, 2}, huge[4] = {0, 0, 40, 40};
    update_proximity(&a, small);
    update_proximity(&b, wide);
    EXPECT_EQ(query(0, 0, 16, 16, false), (std::vector<int>{33, 1024 + 1}));
    update_proximity(&b, huge);
    EXPECT_EQ(query(0, 0, 16, 16, false), (std::vector<int>{33, 1280}));
    EXPECT_EQ(query(0, 0, 16, 16, true), (std::vector<int>{33}));
    EXPECT_EQ(query(100, 100, 101, 101, true), std::vector<int>{});
    // Wider than the world: the fine bin comes round again.
    EXPECT_EQ(query(8, 8, 9 + 256, 8, true), (std::vector<int>{33, 33}));

    ProximityQuery q;
    const float all[4] = {0, 0, 16, 16};
    q.proximityQuery(all, false);
    EXPECT_EQ(q.binCursor, 0);
    EXPECT_EQ(q.objCursor, -1);
    EXPECT_EQ(q.next(), &a);
    EXPECT_EQ(q.next(), &b);
    EXPECT_EQ(q.next(), nullptr);
}
