// CPU cost of the renderer's per-frame and per-step passes over a generated world.
#include "scene/heightmap_renderer.h"
#include "world/heightmap.h"
#include "world/sample_world.h"

#include <benchmark/benchmark.h>
#include <vector>

using namespace HeightmapData;
using HR = HeightmapRenderer;

// The program defines these for the render layer; the benchmark never opens a device.
bool isFullscreen = false;

namespace {

struct World {
    World() { generate_sample_world(7, 20000); }
};
const World& world() {
    static World w;
    return w;
}

// Everything frameUpdate does on the CPU, into memory laid out like the buffers.
void BM_FrameUpdateCpu(benchmark::State& state) {
    world();
    HR::high_quality = state.range(0) != 0;
    std::vector<uint8_t> inst(NEAR_INSTANCES * 20), land(HMAP_CELLS * 8),
        horizon(HORIZON_SIZE * HORIZON_SIZE * 8), water_vb(HMAP_CELLS * 28);
    std::vector<uint16_t> land_ib(LAND_IB_INDICES), water_ib(WATER_IB_INDICES);
    float x = 37.3f;
    for (auto _ : state) {
        vec4f cam = make4f(x, 20.0f, 91.6f, 1.0f);
        x += 0.7f;
        HR::setWindow(cam);
        morphHmap(0.025f, HR::curh);
        HR::fillNearInstances(inst.data());
        HR::fillLandVertices(land.data());
        HR::far_triangles = HR::fillLandIndices(land_ib.data());
        HR::updateWaterDepth(0.5f);
        if (HR::high_quality) HR::fillHorizonVertices(horizon.data(), cam);
        HR::fillWaterVertices(water_vb.data(), 0.5f);
        HR::water_quads = HR::fillWaterIndices(water_ib.data());
        benchmark::DoNotOptimize(water_ib.data());
    }
    state.counters["water_quads"] = HR::water_quads;
}
BENCHMARK(BM_FrameUpdateCpu)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_StepUpdate(benchmark::State& state) {
    world();
    HR::high_quality = state.range(0) != 0;
    for (auto _ : state) {
        HR::stepUpdate(0.05f);
        benchmark::DoNotOptimize(HR::water_uv);
    }
}
BENCHMARK(BM_StepUpdate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
