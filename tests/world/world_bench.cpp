#include "erosion_reference.h"
#include "water_reference.h"
#include "world/erosion.h"
#include "world/hmGen.h"
#include "world/rnd.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <immintrin.h>

using namespace HeightmapData;

namespace {

// A fractal map like the one a world script builds before erosion.
void fractal_map() {
    game_rnd_seed = 42;
    reset();
    reseed_noise();
    addFastNoise(0.0f, 20.0f, nullptr, GT_NONE, 255, 0.55f);
    addSimplexNoise(0.0f, 30.0f, 2, 6, 0.5f);
}

double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The engine's step and the plain four-pass step take turns from the same state (thread
// CPU time); reports ms per step of both and their ratio.
void BM_SimWater(benchmark::State& state) {
    static Water start[HMAP_SIZE][HMAP_SIZE];
    fractal_map();
    addWater(0.5f);
    for (int i = 0; i < 50; ++i) simWater(0.05f); // let flows develop
    memcpy(start, water, sizeof(water));
    double fast_s = 0, plain_s = 0;
    for (auto _ : state) {
        memcpy(water, start, sizeof(water));
        double t0 = thread_seconds();
        simWater(0.05f);
        double t1 = thread_seconds();
        memcpy(water, start, sizeof(water));
        double t2 = thread_seconds();
        water_reference::sim_water(0.05f);
        double t3 = thread_seconds();
        fast_s += t1 - t0, plain_s += t3 - t2;
        state.SetIterationTime(t1 - t0);
    }
    double n = double(state.iterations());
    state.counters["ms/step"] = fast_s * 1e3 / n;
    state.counters["plain_ms/step"] = plain_s * 1e3 / n;
    state.counters["ratio"] = fast_s / plain_s;
}
BENCHMARK(BM_SimWater)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_UpdateHmap(benchmark::State& state) {
    fractal_map();
    for (int i = 0; i < HMAP_CELLS; ++i) target_hmap[i] = hmap[i] + 1000.0f;
    for (auto _ : state) updateHmap(1e-6f); // far from the targets: every group moves
}
BENCHMARK(BM_UpdateHmap)->Unit(benchmark::kMillisecond);

void BM_MorphHmap(benchmark::State& state) {
    alignas(16) static float out[HMAP_CELLS];
    fractal_map();
    for (int i = 0; i < HMAP_CELLS; ++i) target_hmap[i] = hmap[i] + 10.0f;
    for (auto _ : state) {
        morphHmap(0.03f, out);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_MorphHmap)->Unit(benchmark::kMillisecond);

void BM_MakeFastNoise(benchmark::State& state) {
    static float out[HMAP_CELLS];
    for (auto _ : state) {
        makeFastNoise(out, 1.0f, 0.5f);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_MakeFastNoise)->Unit(benchmark::kMillisecond);

void BM_AddFastNoise(benchmark::State& state) {
    static ColorRamp ramp;
    for (int i = 0; i <= 256; ++i) ramp.e[i] = make4f(float(i) / 256.0f, 0.5f, 0.2f, 0.7f);
    fractal_map();
    for (auto _ : state) addFastNoise(0.0f, 1.0f, &ramp, GT_SOIL, 255, 0.5f);
}
BENCHMARK(BM_AddFastNoise)->Unit(benchmark::kMillisecond);

void BM_AddSimplexNoise6(benchmark::State& state) {
    fractal_map();
    for (auto _ : state) addSimplexNoise(0.0f, 1.0f, 4, 6, 0.5f);
}
BENCHMARK(BM_AddSimplexNoise6)->Unit(benchmark::kMillisecond);

void BM_AddVoronoiHills(benchmark::State& state) {
    fractal_map();
    for (auto _ : state) addVoronoiHills(16, 0.0f, 1.0f, 0.8f);
}
BENCHMARK(BM_AddVoronoiHills)->Unit(benchmark::kMillisecond);

void BM_GenVoronoiFaults(benchmark::State& state) {
    fractal_map();
    for (auto _ : state) genVoronoiFaults(8, 0.0f, 1.0f, 0.5f, 2, int(state.range(0)), 1.0f);
}
BENCHMARK(BM_GenVoronoiFaults)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_GenFault(benchmark::State& state) {
    static ColorRamp ramp;
    for (int i = 0; i <= 256; ++i) ramp.e[i] = make4f(0.5f, 0.4f, 0.3f, 0.5f);
    fractal_map();
    for (auto _ : state)
        genFault({100.0f, 120.0f}, {1.0f, 0.5f}, 8.0f, 0.75f, 2.0f, &ramp, GT_SAND, 255, hmap);
}
BENCHMARK(BM_GenFault)->Unit(benchmark::kMillisecond);

void BM_GenCrater(benchmark::State& state) {
    fractal_map();
    for (auto _ : state) genCrater({100.5f, 120.25f}, float(state.range(0)), 1.0f, hmap);
}
BENCHMARK(BM_GenCrater)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_PlaceHouse(benchmark::State& state) {
    fractal_map();
    int k = 0;
    for (auto _ : state) placeHouse(k * 37, k * 11, (k % 5) - 1, hmap, true), ++k;
}
BENCHMARK(BM_PlaceHouse)->Unit(benchmark::kMicrosecond);

// The floor of the droplet loop: the same walk and the same height changes with no colour,
// layer or reaction work at all (heights never depend on colours). What is left is one
// droplet's chain of dependent steps, which no per-step work can undercut.
unsigned long long heights_only(unsigned count, const ErosionParams& p) {
    auto at = [](int x, int z) -> float& { return hmap[hm_index(x, z)]; };
    unsigned long long steps = 0;
    for (unsigned i = 0; i < count; ++i) {
        int ix = int(rnd_step() & 255), iz = int(rnd_step() & 255);
        float px = float(ix), pz = float(iz), fx = 0.0f, fz = 0.0f;
        float h = at(ix, iz), dx = 0.0f, dz = 0.0f, v = 0.0f, w = 1.0f, s = 0.0f;
        float q[4] = {at(ix, iz), at(ix + 1, iz), at(ix, iz + 1), at(ix + 1, iz + 1)};
        auto deposit = [&](float A) {
            at(ix, iz) += A * (1.0f - fx) * (1.0f - fz), at(ix + 1, iz) += A * fx * (1.0f - fz);
            at(ix, iz + 1) += A * (1.0f - fx) * fz, at(ix + 1, iz + 1) += A * fx * fz;
        };
        for (int step = 0; step < EROSION_MAX_STEPS; ++step, ++steps) {
            float gx = (q[0] + q[2]) - (q[1] + q[3]), gz = (q[0] + q[1]) - (q[2] + q[3]);
            dx = gx + (dx - gx) * p.Ki, dz = gz + (dz - gz) * p.Ki;
            float len = std::sqrt(dx * dx + dz * dz);
            if (len <= 1.1920929e-7f)
                det_sincos_2pi(rnd_float(), &dx, &dz);
            else
                dx /= len, dz /= len;
            float npx = px + dx, npz = pz + dz;
            if (!(std::fabs(npx) < 1e6f && std::fabs(npz) < 1e6f)) break;
            int nix = hm_floor(npx), niz = hm_floor(npz);
            float nfx = npx - float(nix), nfz = npz - float(niz);
            float n[4] = {at(nix, niz), at(nix + 1, niz), at(nix, niz + 1), at(nix + 1, niz + 1)};
            float ha = n[0] + (n[1] - n[0]) * nfx, hb = n[2] + (n[3] - n[2]) * nfx;
            float hn = ha + (hb - ha) * nfz;
            if (h <= hn) {
                float need = hn - h + 0.001f;
                if (s <= need) {
                    deposit(s);
                    break;
                }
                deposit(need);
                s -= need, v = 0.0f, h = hn + 0.001f;
            }
            float drop = h - hn;
            float capacity = std::max(drop, p.minSlope) * v * w * p.Kq;
            if (s < capacity) {
                float E = std::min((capacity - s) * p.Kr, 0.99f * drop), kE = E * 0.15915494f;
                // Four cells of a row at once, as the engine does.
                const __m128 xs =
                    _mm_setr_ps(float(ix - 1), float(ix), float(ix + 1), float(ix + 2));
                const __m128 ddx = _mm_sub_ps(xs, _mm_set1_ps(px)), dx2 = _mm_mul_ps(ddx, ddx);
                const int xa = (ix - 1) & 255;
                for (int z = iz - 1; z <= iz + 2; ++z) {
                    float ddz = float(z) - pz;
                    __m128 k = _mm_sub_ps(
                        _mm_set1_ps(1.0f),
                        _mm_mul_ps(_mm_add_ps(dx2, _mm_set1_ps(ddz * ddz)), _mm_set1_ps(0.25f)));
                    __m128 e = _mm_and_ps(_mm_mul_ps(k, _mm_set1_ps(kE)),
                                          _mm_cmpgt_ps(k, _mm_setzero_ps()));
                    float* row = hmap + hm_index(0, z);
                    if (xa <= 252) {
                        _mm_storeu_ps(row + xa, _mm_sub_ps(_mm_loadu_ps(row + xa), e));
                    } else {
                        alignas(16) float ev[4];
                        _mm_store_ps(ev, e);
                        for (int l = 0; l < 4; ++l) row[(xa + l) & 255] -= ev[l];
                    }
                }
                drop -= E, s += E;
            } else {
                float D = (s - capacity) * p.Kd;
                deposit(D);
                drop += D, s -= D;
            }
            v = std::sqrt(v * v + 2.0f * p.g * drop);
            w *= 1.0f - p.Kw;
            px = npx, pz = npz, ix = nix, iz = niz, fx = nfx, fz = nfz, h = hn;
            memcpy(q, n, sizeof(q));
        }
    }
    return steps;
}

// Droplets on the same fractal map, the engine, the plain transcription and the heights-only
// floor taking turns in every iteration (thread CPU time, so other processes on the machine
// count for none). Arg: number of colour reactions (0 or 1). Reports ns per step of each and
// the engine's ratio to the transcription.
void BM_DropletErosion(benchmark::State& state) {
    static float saved_h[HMAP_CELLS];
    static Surface saved_s[HMAP_CELLS];
    static float engine_h[HMAP_CELLS];
    fractal_map();
    memcpy(saved_h, hmap, sizeof(hmap));
    memcpy(saved_s, surface, sizeof(surface));
    const unsigned n = 20000;
    ErosionParams params;
    if (state.range(0)) params.reactions.push_back({{-0.5f, 0.5f, 0.0f, 0.0f}, {1, 0, 0, 0}});
    double steps = 0, fast_s = 0, plain_s = 0, floor_steps = 0, floor_s = 0;
    auto restore = [] {
        memcpy(hmap, saved_h, sizeof(hmap));
        memcpy(surface, saved_s, sizeof(surface));
        game_rnd_seed = 7;
    };
    for (auto _ : state) {
        restore();
        double t0 = thread_seconds();
        genDropletErosion(n, params);
        double t1 = thread_seconds();
        memcpy(engine_h, hmap, sizeof(hmap));
        steps += double(last_erosion_stats.steps);
        restore();
        double t2 = thread_seconds();
        benchmark::DoNotOptimize(erosion_reference::run(n, params));
        double t3 = thread_seconds();
        restore();
        double t4 = thread_seconds();
        floor_steps += double(heights_only(n, params));
        floor_s += thread_seconds() - t4;
        // Heights never depend on colours: the floor must have walked the engine's paths.
        if (memcmp(hmap, engine_h, sizeof(hmap)) != 0) state.SkipWithError("floor diverged");
        fast_s += t1 - t0, plain_s += t3 - t2;
        state.SetIterationTime(t1 - t0);
    }
    state.counters["ns/step"] = fast_s * 1e9 / steps;
    state.counters["plain_ns/step"] = plain_s * 1e9 / steps;
    state.counters["ratio"] = fast_s / plain_s;
    state.counters["heights_only_ns/step"] = floor_steps > 0 ? floor_s * 1e9 / floor_steps : 0;
}
BENCHMARK(BM_DropletErosion)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
