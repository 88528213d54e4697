// The default world from the shipped script, and the per-cell script callback passes.
#include "platform/paths.h"
#include "platform/timer.h"
#include "world/rnd.h"
#include "world/world_gen_script.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <string>

namespace {
struct WorldGen {
    WorldGen() {
        init_timer();
        snprintf(app_path, sizeof(app_path), "%s", VELTMOOR_DATA_DIR);
        init_world_gen();
    }
    ~WorldGen() { close_world_gen(); }
};

void BM_DefaultWorld(benchmark::State& state) {
    WorldGen g;
    for (auto _ : state) {
        game_rnd_seed = 1;
        generate_world();
    }
}
BENCHMARK(BM_DefaultWorld)->Unit(benchmark::kMillisecond)->Iterations(3);

void run(const char* code) {
    HSQUIRRELVM vm = world_gen_vm.vm;
    sq_compilebuffer(vm, code, SQInteger(strlen(code)), "bench", SQTrue);
    sq_pushroottable(vm);
    sq_call(vm, 1, SQFalse, SQTrue);
    sq_pop(vm, 1);
}

void BM_MaskFromFunction(benchmark::State& state) {
    WorldGen g;
    for (auto _ : state) run("::m <- HmapMask(@(x, y) x * 0.5 + y);");
    state.SetItemsProcessed(state.iterations() * 65536);
}
BENCHMARK(BM_MaskFromFunction)->Unit(benchmark::kMillisecond);

void BM_ApplyHeightMaskFunction(benchmark::State& state) {
    WorldGen g;
    run("::m <- HmapMask(1);");
    for (auto _ : state) run("apply_height_mask(m, @(h, v) h + v * 0.5);");
    state.SetItemsProcessed(state.iterations() * 65536);
}
BENCHMARK(BM_ApplyHeightMaskFunction)->Unit(benchmark::kMillisecond);

void BM_RepaintLand(benchmark::State& state) {
    WorldGen g;
    for (auto _ : state) run("repaint_land(@(x, y, g, s) [g, GT_SOIL]);");
    state.SetItemsProcessed(state.iterations() * 65536);
}
BENCHMARK(BM_RepaintLand)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
