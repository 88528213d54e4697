#include "erosion_reference.h"
#include "water_reference.h"
#include "world/erosion.h"
#include "world/hmGen.h"
#include "world/rnd.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>

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

// Droplets on the same fractal map, the engine and the plain transcription taking turns in
// every iteration (thread CPU time, so other processes on the machine count for neither).
// Arg: number of colour reactions (0 or 1). Reports ns per step of both and their ratio.
void BM_DropletErosion(benchmark::State& state) {
    static float saved_h[HMAP_CELLS];
    static Surface saved_s[HMAP_CELLS];
    fractal_map();
    memcpy(saved_h, hmap, sizeof(hmap));
    memcpy(saved_s, surface, sizeof(surface));
    const unsigned n = 20000;
    ErosionParams params;
    if (state.range(0)) params.reactions.push_back({{-0.5f, 0.5f, 0.0f, 0.0f}, {1, 0, 0, 0}});
    double steps = 0, fast_s = 0, plain_s = 0;
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
        steps += double(last_erosion_stats.steps);
        restore();
        double t2 = thread_seconds();
        benchmark::DoNotOptimize(erosion_reference::run(n, params));
        double t3 = thread_seconds();
        fast_s += t1 - t0, plain_s += t3 - t2;
        state.SetIterationTime(t1 - t0);
    }
    state.counters["ns/step"] = fast_s * 1e9 / steps;
    state.counters["plain_ns/step"] = plain_s * 1e9 / steps;
    state.counters["ratio"] = fast_s / plain_s;
}
BENCHMARK(BM_DropletErosion)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
