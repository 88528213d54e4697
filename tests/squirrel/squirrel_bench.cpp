// Benchmarks of the script VM: the per-cell native-to-script call loop (65,536 sq_call per
// iteration), its reverse (a script calling a host function per cell) and the three reference
// perf scripts, whose reference times are reported next to ours as a speed-up counter
// (reference time / our process CPU time, which stays meaningful on a loaded machine).
#include "sqstdmath.h"
#include "sqstdstring.h"
#include "squirrel.h"

#include <benchmark/benchmark.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

namespace {

void quiet_print(HSQUIRRELVM, const SQChar*, ...) {}

HSQUIRRELVM open_vm() {
    HSQUIRRELVM v = sq_open(1024);
    sq_setprintfunc(v, quiet_print, quiet_print);
    sq_pushroottable(v);
    sqstd_register_mathlib(v);
    sqstd_register_stringlib(v);
    sq_pop(v, 1);
    return v;
}

bool run_source(HSQUIRRELVM v, const std::string& src, const char* name) {
    if (SQ_FAILED(sq_compilebuffer(v, src.data(), SQInteger(src.size()), name, SQTrue)))
        return false;
    sq_pushroottable(v);
    bool ok = SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQTrue));
    sq_pop(v, 1);
    return ok;
}

void BM_PerCellCall(benchmark::State& state) {
    HSQUIRRELVM v = open_vm();
    run_source(
        v,
        "local k = 0.049087385\n"
        "function cell(x, y) { return sin(x * k) * cos(y * k) * 0.5 + ((x ^ y) & 15) / 15.0 }",
        "bench");
    sq_pushroottable(v);
    sq_pushstring(v, "cell", -1);
    sq_get(v, -2);
    double sum = 0;
    for (auto _ : state) {
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                sq_push(v, -1);
                sq_pushroottable(v);
                sq_pushinteger(v, x);
                sq_pushinteger(v, y);
                if (SQ_FAILED(sq_call(v, 3, SQTrue, SQTrue))) {
                    state.SkipWithError("call failed");
                    break;
                }
                SQFloat f = 0;
                sq_getfloat(v, -1, &f);
                sum += f;
                sq_pop(v, 2);
            }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * 65536);
    sq_close(v);
}
BENCHMARK(BM_PerCellCall)->Unit(benchmark::kMillisecond);

// The other direction: a script loop over 256 x 256 cells calling a host function per cell, as
// world-generation scripts call the engine's noise and terrain queries.
SQInteger cell_noise(HSQUIRRELVM v) {
    SQInteger x = 0, z = 0;
    sq_getinteger(v, 2, &x);
    sq_getinteger(v, 3, &z);
    sq_pushfloat(v, SQFloat(((x * 73856093) ^ (z * 19349663)) & 1023) / 1023.0f);
    return 1;
}

void BM_NativeCallbacks(benchmark::State& state) {
    HSQUIRRELVM v = open_vm();
    sq_pushroottable(v);
    sq_pushstring(v, "cellnoise", -1);
    sq_newclosure(v, cell_noise, 0);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    run_source(v,
               "function mask(n) { local s = 0.0\n"
               "  for (local z = 0; z < n; z++)\n"
               "    for (local x = 0; x < n; x++) s += cellnoise(x, z) * 0.5\n"
               "  return s }",
               "bench");
    double sum = 0;
    for (auto _ : state) {
        sq_pushroottable(v);
        sq_pushstring(v, "mask", -1);
        sq_get(v, -2);
        sq_pushroottable(v);
        sq_pushinteger(v, 256);
        if (SQ_FAILED(sq_call(v, 2, SQTrue, SQTrue))) {
            state.SkipWithError("call failed");
            break;
        }
        SQFloat f = 0;
        sq_getfloat(v, -1, &f);
        sum += f;
        sq_pop(v, 3);
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * 65536);
    sq_close(v);
}
BENCHMARK(BM_NativeCallbacks)->Unit(benchmark::kMillisecond);

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void BM_PerfScript(benchmark::State& state, const char* file, double referenceSeconds) {
    std::string src = read_file(std::string(SQ_PERF_DIR) + "/" + file);
    if (src.empty()) {
        state.SkipWithError("perf scripts not found");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        std::clock_t t0 = std::clock();
        HSQUIRRELVM v = open_vm();
        if (!run_source(v, src, file)) state.SkipWithError("script failed");
        sq_close(v);
        total += double(std::clock() - t0) / CLOCKS_PER_SEC;
    }
    double mean = total / double(state.iterations());
    state.counters["reference_s"] = referenceSeconds;
    state.counters["speedup_vs_reference"] = referenceSeconds / mean;
}
BENCHMARK_CAPTURE(BM_PerfScript, cells, "cells.nut", 1.0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_PerfScript, fib, "fib.nut", 0.13)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_PerfScript, objects, "objects.nut", 0.15)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// Workloads of our own (tests/squirrel/bench): string building, tables and arrays, closures
// and generators, class-based vector arithmetic. Compare against an older build of the runner
// side by side (tools/sq on the same files), not against figures from another machine.
void BM_Workload(benchmark::State& state, const char* file) {
    std::string src = read_file(std::string(SQ_BENCH_DIR) + "/" + file);
    if (src.empty()) {
        state.SkipWithError("workload script not found");
        return;
    }
    for (auto _ : state) {
        HSQUIRRELVM v = open_vm();
        if (!run_source(v, src, file)) state.SkipWithError("script failed");
        sq_close(v);
    }
}
BENCHMARK_CAPTURE(BM_Workload, strings, "strings.nut")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_Workload, tables, "tables.nut")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Workload, closures, "closures.nut")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_Workload, vectors, "vectors.nut")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

BENCHMARK_MAIN();
