// The effects' per-step update and per-frame instance writing with 10,000 live particles
// and 500 full trails, each beside a plain-loop baseline over the same data in this run.
#include "fx/particles.h"
#include "script/ramps.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

void render_game_frame(float) {}

namespace {
constexpr int PARTICLES = 10000, TRAILS = 500;

void populate() {
    static bool done = false;
    if (done) return;
    done = true;
    init_std_ramps();
    reset_common_fx();
    for (int i = 0; i < PARTICLES; ++i) {
        const float f = float(i);
        const vec4f pos = make4f(fmodf(f * 7.3f, 256.0f), 10.0f, fmodf(f * 3.1f, 256.0f), 1.0f);
        const vec4f vel = make4f(1.0f, 2.0f, -1.0f, 0.5f);
        const vec4f acc = make4f(0.0f, -9.8f, 0.0f, 0.0f);
        // Lives long enough to stay alive through any run; all three ramps in use.
        if (i & 1)
            add_glow_particle(pos, vel, acc, 1e9f, 0.0f, 1.0f, 0xFFFF8040u, 0, 128, 128, 0, 1,
                              &glow_std_fade_anim, &size_05_2_anim, &std_roll_anim);
        else
            add_blend_particle(pos, vel, acc, 1e9f, 0.0f, 1.0f, 0xFF808080u, 0, 0, 128, 0, 1,
                               &blend_std_fade_anim, &size_05_4_anim, &std_roll_anim);
    }
    for (int t = 0; t < TRAILS; ++t) {
        const vec4f side = make4f(0.0f, 0.2f, 0.0f, 0.0f);
        const vec4f vel = make4f(0.0f, 0.5f, 0.0f, 0.0f);
        int id = add_trail_fx(make4f(float(t % 256), 5.0f, 20.0f, 1.0f), vel, side, 0.5f, ~0u);
        for (int k = 1; k < TRAIL_POINTS; ++k)
            add_trail_point(id, make4f(float(t % 256) + 0.5f * float(k), 5.0f, 20.0f, 1.0f), vel,
                            side);
    }
}

void BM_UpdateCommonFx(benchmark::State& state) {
    populate();
    for (auto _ : state) update_common_fx(0.05f);
    state.SetItemsProcessed(state.iterations() * PARTICLES);
}
BENCHMARK(BM_UpdateCommonFx)->Unit(benchmark::kMicrosecond);

// Baseline: the least a step can do, moving every particle record by its velocity.
void BM_UpdateBaselinePlainLoop(benchmark::State& state) {
    populate();
    for (auto _ : state) {
        for (ParticlePool* pool : {&blend_particles, &glow_particles})
            for (Particle& p : pool->parts) {
                p.pos.x += p.vel.x * 0.05f;
                p.pos.y += p.vel.y * 0.05f;
                p.pos.z += p.vel.z * 0.05f;
            }
        for (int i = 0; i < MAX_TRAILS; ++i) benchmark::DoNotOptimize(fx_trails[i].count);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * PARTICLES);
}
BENCHMARK(BM_UpdateBaselinePlainLoop)->Unit(benchmark::kMicrosecond);

std::vector<uint8_t>& frame_buffer() {
    static std::vector<uint8_t> buf(size_t(PARTICLES) * 40 + size_t(TRAILS) * TRAIL_MAX_VERTS * 24);
    return buf;
}

void BM_WriteInstanceData(benchmark::State& state) {
    populate();
    uint8_t* out = frame_buffer().data();
    Matrix44 itm = {};
    for (int i = 0; i < 4; ++i) itm.m[i][i] = 1.0f;
    const vec4f cam = make4f(128.0f, 30.0f, 128.0f, 1.0f);
    for (auto _ : state) {
        uint8_t* p = out;
        int next = 0;
        for (const ParticlePool* pool : {&blend_particles, &glow_particles})
            p += 40 * write_particle_instances(*pool, 0, &next, p, PARTICLES, 0.02f, 0.4f, cam);
        for (const Trail& tr : fx_trails)
            if (tr.isAlive()) p += 24 * write_trail_vertices(tr, p, 0.4f, cam, itm);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * PARTICLES);
}
BENCHMARK(BM_WriteInstanceData)->Unit(benchmark::kMicrosecond);

// Baseline: copying the same number of bytes the frame writes.
void BM_WriteBaselinePlainCopy(benchmark::State& state) {
    populate();
    std::vector<uint8_t>& out = frame_buffer();
    const size_t bytes = size_t(PARTICLES) * 40 + size_t(TRAILS) * (6 + 15 * 6) * 24;
    const uint8_t* src = reinterpret_cast<const uint8_t*>(fx_trails);
    for (auto _ : state) {
        memcpy(out.data(), src, bytes);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * PARTICLES);
}
BENCHMARK(BM_WriteBaselinePlainCopy)->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
