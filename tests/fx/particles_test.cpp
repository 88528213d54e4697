// Particle pools and trails: spawning ahead of the step, delays, life and freeing, ramps,
// the torus seam, the trail pool's limits and the ring of points.
#include "fx/particles.h"
#include "script/ramps.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

void render_game_frame(float) {}

namespace {
const vec4f ZERO = make4f(0.0f, 0.0f, 0.0f, 0.0f);

struct Inst {
    float x, y, z, size, roll;
    uint32_t color;
    float u, v, du, dv;
};

class FxTest : public ::testing::Test {
  protected:
    void SetUp() override { reset_common_fx(); }

    std::vector<Inst> draw(const ParticlePool& pool, float elapsed, float fraction,
                           vec4f cam = make4f(128.0f, 0.0f, 128.0f, 1.0f)) {
        std::vector<Inst> out(size_t(pool.parts.num) + 1);
        int next = 0;
        int n = write_particle_instances(pool, 0, &next, reinterpret_cast<uint8_t*>(out.data()),
                                         pool.parts.num, elapsed, fraction, cam);
        out.resize(size_t(n));
        return out;
    }
    static void glow(vec4f pos, vec4f vel, float life, float delay, const ColorRamp* c = nullptr,
                     const FloatRamp* s = nullptr, const FloatRamp* r = nullptr) {
        add_glow_particle(pos, vel, ZERO, life, delay, 2.0f, 0xFF808080u, 0.0f, 128.0f, 128.0f,
                          0.5f, 2.0f, c, s, r);
    }
};

TEST_F(FxTest, SpawnRunsOneStepAheadAndInterpolatesBack) {
    glow(make4f(10.0f, 5.0f, 10.0f, 1.0f), make4f(20.0f, 0.0f, 0.0f, 0.0f), 1.0f, 0.0f);
    const Particle& p = glow_particles.parts[0];
    EXPECT_FLOAT_EQ(p.pos.x, 11.0f);
    EXPECT_FLOAT_EQ(p.prev.x, 10.0f);
    EXPECT_FLOAT_EQ(p.mapU, 64.0f / 512.0f);
    EXPECT_FLOAT_EQ(p.mapV, 192.0f / 256.0f);
    auto i = draw(glow_particles, 0.025f, 0.5f, make4f(200.0f, 0.0f, 128.0f, 1.0f));
    ASSERT_EQ(i.size(), 1u);
    EXPECT_FLOAT_EQ(i[0].x, 10.5f + 256.0f); // the copy nearest the camera at 128
    EXPECT_FLOAT_EQ(i[0].du, 64.0f / 512.0f);
    EXPECT_FLOAT_EQ(i[0].dv, -64.0f / 256.0f);
    EXPECT_EQ(i[0].color, 0xFF808080u); // no ramp: the colour as given
    EXPECT_FLOAT_EQ(i[0].roll, 0.5f);
}

TEST_F(FxTest, DragSlowsAndAccelerationPulls) {
    add_blend_particle(make4f(0.0f, 0.0f, 0.0f, 7.0f), make4f(10.0f, 0.0f, 0.0f, 2.0f),
                       make4f(0.0f, -10.0f, 0.0f, 0.0f), 5.0f, 0.0f, 1.0f, 0u, 0, 0, 64, 0, 0,
                       nullptr, nullptr, nullptr);
    const Particle& p = blend_particles.parts[0];
    EXPECT_FLOAT_EQ(p.vel.x, 10.0f - 10.0f * 2.0f * 0.05f);
    EXPECT_FLOAT_EQ(p.vel.y, -0.5f);
    EXPECT_FLOAT_EQ(p.vel.w, 2.0f);
    EXPECT_FLOAT_EQ(p.pos.x, 9.0f * 0.05f);
    EXPECT_FLOAT_EQ(p.pos.w, 7.0f); // the position's w lane is left alone
}

TEST_F(FxTest, DelayedParticleWaitsThenStartsFromItsSpawnPoint) {
    const vec4f at = make4f(100.0f, 3.0f, 100.0f, 1.0f);
    glow(at, make4f(10.0f, 0.0f, 0.0f, 0.0f), 2.0f, 1.0f);
    const Particle& p = glow_particles.parts[0];
    int steps = 0;
    while (p.age + FX_STEP < 0.0f) {
        EXPECT_FLOAT_EQ(p.pos.x, 100.0f);
        EXPECT_TRUE(draw(glow_particles, 0.05f, 1.0f).empty());
        update_common_fx(FX_STEP);
        ASSERT_LT(++steps, 30);
    }
    // Born inside the coming step: drawn once elapsed passes -age, at the spawn point.
    EXPECT_TRUE(draw(glow_particles, -p.age * 0.5f, -p.age * 10.0f).empty());
    const float e = -p.age + 1e-4f;
    auto i = draw(glow_particles, e, e / FX_STEP);
    ASSERT_EQ(i.size(), 1u);
    EXPECT_NEAR(i[0].x, 100.0f, 0.01f);
    update_common_fx(FX_STEP);
    EXPECT_GT(p.pos.x, 100.0f);
}

TEST_F(FxTest, LifeSamplesRampsOverZeroToOneAndFreesAtTheEnd) {
    ColorRamp c;
    make_linear_ramp(c, make4f(0.0f, 0.0f, 0.0f, 1.0f), make4f(1.0f, 1.0f, 1.0f, 1.0f));
    FloatRamp s, r;
    make_linear_ramp(s, 1.0f, 3.0f);
    make_linear_ramp(r, 0.0f, 1.0f);
    glow(make4f(128.0f, 0.0f, 128.0f, 1.0f), ZERO, 2.0f, 0.0f, &c, &s, &r);
    auto first = draw(glow_particles, 0.0f, 0.0f);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].color, 0xFF000000u);
    EXPECT_FLOAT_EQ(first[0].size, 2.0f);
    EXPECT_FLOAT_EQ(first[0].roll, 0.5f);
    float age = 0.0f;
    int steps = 0;
    while (true) {
        update_common_fx(FX_STEP);
        age += FX_STEP;
        ++steps;
        if (age >= 2.0f) break;
        auto i = draw(glow_particles, 0.0f, 0.0f);
        ASSERT_EQ(i.size(), 1u) << "age " << age;
    }
    EXPECT_EQ(glow_particles.parts[0].life, -1.0f);
    EXPECT_EQ(glow_particles.freeHead, 0);
    EXPECT_GE(steps, 39);
    // The last drawn moment reached the end of the ramps (t = 1: white, size 6, roll 2.5).
    reset_common_fx();
    glow(make4f(128.0f, 0.0f, 128.0f, 1.0f), ZERO, 2.0f, 0.0f, &c, &s, &r);
    for (int k = 0; k < 39; ++k) update_common_fx(FX_STEP);
    auto last = draw(glow_particles, 2.0f - glow_particles.parts[0].age - 1e-5f, 1.0f);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0].color, 0xFF808080u); // ramp white x particle grey
    EXPECT_NEAR(last[0].size, 6.0f, 1e-4f);
    EXPECT_NEAR(last[0].roll, 2.5f, 1e-4f);
}

TEST_F(FxTest, FreedRecordsAreReusedLastFreedFirst) {
    glow(ZERO, ZERO, 0.1f, 0.0f);
    glow(ZERO, ZERO, 0.2f, 0.0f);
    glow(ZERO, ZERO, 1.0f, 0.0f);
    for (int k = 0; k < 5; ++k) update_common_fx(FX_STEP);
    EXPECT_EQ(glow_particles.freeHead, 1);
    EXPECT_EQ(particle_next_free(glow_particles.parts[1]), 0);
    glow(ZERO, ZERO, 1.0f, 0.0f);
    EXPECT_EQ(glow_particles.parts.num, 3);
    EXPECT_EQ(glow_particles.freeHead, 0);
    // A record born dead is freed at once rather than lost to the pool.
    glow(ZERO, ZERO, 0.0f, 0.0f);
    glow(ZERO, ZERO, 1.0f, 0.0f);
    EXPECT_EQ(glow_particles.parts.num, 3);
    EXPECT_GE(glow_particles.parts.capacity, int(FX_RESERVE_PARTICLES));
}

TEST_F(FxTest, TrailCrossingTheWorldEdgeStaysContinuous) {
    const int t = add_trail_fx(make4f(255.5f, 4.0f, 10.0f, 1.0f), ZERO, make4f(0, 0.1f, 0, 0), 0.5f,
                               0xFFFFFFFFu);
    ASSERT_GE(t, 0);
    add_trail_point(t, make4f(0.5f, 4.0f, 10.0f, 1.0f), ZERO, make4f(0, 0.1f, 0, 0));
    const Trail& tr = fx_trails[t];
    EXPECT_EQ(tr.count, 2);
    EXPECT_FLOAT_EQ(tr.pts[tr.head].pos.x, 256.5f);
    EXPECT_FLOAT_EQ(tr.pts[tr.head].prev.x, 255.5f);
    // The step moves the whole trail back into the world by the head's wrap.
    update_common_fx(FX_STEP);
    EXPECT_FLOAT_EQ(tr.pts[tr.head].pos.x, 0.5f);
    EXPECT_FLOAT_EQ(tr.pts[(tr.head + 1) % TRAIL_POINTS].pos.x, -0.5f);
}

TEST_F(FxTest, TrailPoolRunsOutAfter4000AndIgnoresBadIndices) {
    for (int i = 0; i < MAX_TRAILS; ++i) ASSERT_EQ(add_trail_fx(ZERO, ZERO, ZERO, 1.0f, 0u), i);
    EXPECT_EQ(add_trail_fx(ZERO, ZERO, ZERO, 1.0f, 0u), -1);
    for (int bad : {-1, int(MAX_TRAILS), 1 << 30}) {
        add_trail_point(bad, ZERO, ZERO, ZERO);
        set_trail_color(bad, 1u);
        stop_trail_fx(bad);
        kill_trail_fx(bad);
    }
    kill_trail_fx(17);
    kill_trail_fx(17); // not alive any more: left alone
    EXPECT_EQ(add_trail_fx(ZERO, ZERO, ZERO, 1.0f, 0u), 17);
    EXPECT_EQ(add_trail_fx(ZERO, ZERO, ZERO, 1.0f, 0u), -1);
}

TEST_F(FxTest, SeventeenthPointReplacesTheOldest) {
    const int t = add_trail_fx(make4f(0.0f, 0.0f, 0.0f, 1.0f), ZERO, ZERO, 1.0f, 0xFF000001u);
    for (int k = 1; k <= 16; ++k) {
        set_trail_color(t, 0xFF000000u + uint32_t(k + 1));
        add_trail_point(t, make4f(float(k), 0.0f, 0.0f, 1.0f), ZERO, ZERO);
    }
    const Trail& tr = fx_trails[t];
    EXPECT_EQ(tr.count, 16);
    float oldest = 1e9f;
    for (const TrailPoint& p : tr.pts) oldest = std::min(oldest, p.pos.x);
    EXPECT_FLOAT_EQ(oldest, 1.0f); // the first point (x 0) is gone
    EXPECT_FLOAT_EQ(tr.pts[tr.head].pos.x, 16.0f);
    EXPECT_EQ(tr.pts[tr.head].color, 0xFF000011u);
}

TEST_F(FxTest, StoppedTrailShrinksAwayAndReturnsToThePool) {
    const int t = add_trail_fx(ZERO, ZERO, ZERO, 1.0f, 0u);
    add_trail_point(t, ZERO, ZERO, ZERO);
    add_trail_point(t, ZERO, ZERO, ZERO);
    stop_trail_fx(t);
    update_common_fx(FX_STEP);
    EXPECT_EQ(fx_trails[t].count, 2);
    update_common_fx(FX_STEP);
    update_common_fx(FX_STEP);
    EXPECT_FALSE(fx_trails[t].isAlive());
    // A point for the freed trail must not bring it back to life on the free list.
    add_trail_point(t, ZERO, ZERO, ZERO);
    EXPECT_FALSE(fx_trails[t].isAlive());
    EXPECT_EQ(add_trail_fx(ZERO, ZERO, ZERO, 1.0f, 0u), t);
}

TEST_F(FxTest, TrailVerticesFormHeadSpriteAndRibbon) {
    const vec4f side = make4f(0.0f, 0.5f, 0.0f, 0.0f);
    const int t = add_trail_fx(make4f(10.0f, 0.0f, 10.0f, 1.0f), ZERO, side, 1.0f, 0xFF0000FFu);
    add_trail_point(t, make4f(11.0f, 0.0f, 10.0f, 1.0f), ZERO, side);
    add_trail_point(t, make4f(12.0f, 0.0f, 10.0f, 1.0f), ZERO, side);
    Matrix44 itm = {};
    for (int i = 0; i < 4; ++i) itm.m[i][i] = 1.0f;
    std::vector<uint8_t> buf(TRAIL_MAX_VERTS * 24);
    const int n =
        write_trail_vertices(fx_trails[t], buf.data(), 1.0f, make4f(10.0f, 0.0f, 10.0f, 1.0f), itm);
    EXPECT_EQ(n, 6 + 2 * 6);
    struct V {
        float x, y, z;
        uint32_t c;
        float u, v;
    };
    const V* v = reinterpret_cast<const V*>(buf.data());
    float umax = 0.0f;
    for (int i = 6; i < n; ++i) {
        umax = std::max(umax, v[i].u);
        EXPECT_TRUE(v[i].v == 0.0f || v[i].v == 0.25f);
        EXPECT_EQ(v[i].v == 0.0f, v[i].y > 0.0f); // plus edge on v 0
    }
    EXPECT_FLOAT_EQ(umax, 3.0f / 16.0f); // fraction/16 plus one sixteenth per segment
    EXPECT_FLOAT_EQ(v[0].u, 0.0f);
    EXPECT_FLOAT_EQ(v[0].v, 0.5f);
}

TEST_F(FxTest, NothingAliveOnlyAfterTheLastParticleAndTrailAreGone) {
    EXPECT_FALSE(fx_anything_alive);
    glow(ZERO, ZERO, 0.1f, 0.0f);
    EXPECT_TRUE(fx_anything_alive);
    const int t = add_trail_fx(ZERO, ZERO, ZERO, 1.0f, 0u);
    update_common_fx(FX_STEP);
    update_common_fx(FX_STEP);
    EXPECT_TRUE(fx_anything_alive); // the trail still lives
    kill_trail_fx(t);
    update_common_fx(FX_STEP);
    EXPECT_FALSE(fx_anything_alive);
}

TEST_F(FxTest, ResetEmptiesEverything) {
    glow(ZERO, ZERO, 1.0f, 0.0f);
    add_trail_fx(ZERO, ZERO, ZERO, 1.0f, 0u);
    const int before = fx_reset_count;
    reset_common_fx();
    EXPECT_EQ(glow_particles.parts.num, 0);
    EXPECT_FALSE(fx_trails[0].isAlive());
    EXPECT_EQ(add_trail_fx(ZERO, ZERO, ZERO, 1.0f, 0u), 0) << "the pool starts over";
    EXPECT_EQ(fx_reset_count, before + 1);
}
} // namespace
