// Costs of the binding layer: a native call through a thunk, vec4f arithmetic from
// script (one 16-byte allocation per result), and a script callback per map cell.
#include "script/common_script.h"
#include "script/ramps.h"
#include "script/sqbind.h"

#include <benchmark/benchmark.h>
#include <string>

using namespace sqbind;

namespace {
float add2(float a, float b) {
    return a + b;
}

struct Vm {
    HSQUIRRELVM vm;
    Vm() {
        vm = open_vm(1024);
        register_ramp_classes(vm);
        register_common_script(vm);
        register_function(vm, "add2", add2);
    }
    ~Vm() { close_vm(vm); }
    void run(const std::string& code) {
        sq_compilebuffer(vm, code.c_str(), SQInteger(code.size()), "bench", SQTrue);
        sq_pushroottable(vm);
        sq_call(vm, 1, SQFalse, SQTrue);
        sq_pop(vm, 1);
    }
};

// 65,536 calls of a native function from a script loop, against the bare loop.
void BM_NativeCallThunk(benchmark::State& state) {
    Vm v;
    v.run("function calls() { local s = 0.0; for (local i = 0; i < 65536; i++) s = add2(s, 1.0);"
          " return s; }"
          "function loop() { local s = 0.0; for (local i = 0; i < 65536; i++) s = s + 1.0;"
          " return s; }");
    SqFunc<float()> fn;
    fn.bind(v.vm, state.range(0) ? "calls" : "loop");
    for (auto _ : state) benchmark::DoNotOptimize(fn());
    state.SetItemsProcessed(state.iterations() * 65536);
}
BENCHMARK(BM_NativeCallThunk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Vec4fAdditions(benchmark::State& state) {
    Vm v;
    v.run("function adds() { local a = vec4f(0), b = vec4f(1, 2, 3, 4);"
          " for (local i = 0; i < 65536; i++) a = a + b; return getx(a); }");
    SqFunc<float()> fn;
    fn.bind(v.vm, "adds");
    for (auto _ : state) benchmark::DoNotOptimize(fn());
    state.SetItemsProcessed(state.iterations() * 65536);
}
BENCHMARK(BM_Vec4fAdditions)->Unit(benchmark::kMillisecond);

// The world generator's slow path: native code calling a script function per cell.
void BM_PerCellScriptCall(benchmark::State& state) {
    Vm v;
    v.run("function cell(x, z) { return x * 0.5 + z * 0.25; }");
    SqFunc<float(int, int)> fn;
    fn.bind(v.vm, "cell");
    for (auto _ : state) {
        float s = 0;
        for (int z = 0; z < 256; ++z)
            for (int x = 0; x < 256; ++x) s += fn(x, z);
        benchmark::DoNotOptimize(s);
    }
    state.SetItemsProcessed(state.iterations() * 65536);
}
BENCHMARK(BM_PerCellScriptCall)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
