#include "world/erosion.h"
#include "world/hmGen.h"
#include "world/rnd.h"

#include <benchmark/benchmark.h>

#include <cstring>

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

void BM_SimWater(benchmark::State& state) {
    fractal_map();
    addWater(0.5f);
    for (int i = 0; i < 50; ++i) simWater(0.05f); // let flows develop
    for (auto _ : state) simWater(0.05f);
}
BENCHMARK(BM_SimWater)->Unit(benchmark::kMillisecond);

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

// Droplets on a fresh fractal map each iteration; reports droplets per second, the average
// path length and the time per droplet step.
void BM_DropletErosion(benchmark::State& state) {
    static float saved_h[HMAP_CELLS];
    static Surface saved_s[HMAP_CELLS];
    fractal_map();
    memcpy(saved_h, hmap, sizeof(hmap));
    memcpy(saved_s, surface, sizeof(surface));
    const unsigned n = 20000;
    ErosionParams params;
    if (state.range(0)) params.reactions.push_back({{-0.5f, 0.5f, 0.0f, 0.0f}, {1, 0, 0, 0}});
    double steps = 0, droplets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        memcpy(hmap, saved_h, sizeof(hmap));
        memcpy(surface, saved_s, sizeof(surface));
        game_rnd_seed = 7;
        state.ResumeTiming();
        genDropletErosion(n, params);
        steps += double(last_erosion_stats.steps);
        droplets += n;
    }
    state.counters["droplets/s"] = benchmark::Counter(droplets, benchmark::Counter::kIsRate);
    state.counters["path"] = steps / droplets;
    state.counters["s/step"] =
        benchmark::Counter(steps, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DropletErosion)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
