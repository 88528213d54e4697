// The module swap: from a source edit to the rebuilt module bound (compiler included), and
// the swap alone with 10,000 live objects (budget 5 ms), against a plain loop over them.
#include "actors/actor_module.h"
#include "platform/paths.h"
#include "platform/timer.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
constexpr int LIVE_OBJECTS = 10000;

fs::path make_game_folder(const char* name) {
    fs::path dir = fs::temp_directory_path() / (std::string(name) + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    snprintf(app_path, sizeof(app_path), "%s/", dir.c_str());
    return dir;
}

// Clones of a live module object, so that every clone carries a module class table.
struct Clones {
    DynArray<BaseObject*> made;
    void fill(ObjectList& list, int n) {
        BaseObject* model = list[0];
        for (int i = 0; i < n; ++i) {
            void* p = aligned_alloc(16, 64);
            memcpy(p, static_cast<void*>(model), sizeof(BaseObject));
            auto* obj = static_cast<BaseObject*>(p);
            list.push_back(obj);
            made.push_back(obj);
        }
    }
    void release(ObjectList& list) {
        for (BaseObject* obj : made) {
            list.erase(list.find(obj));
            free(obj);
        }
        made.num = 0;
    }
};

void BM_PlainLoopOverObjects(benchmark::State& state) {
    DynArray<BaseObject*> objs;
    std::vector<BaseObject> store(LIVE_OBJECTS);
    for (BaseObject& o : store) objs.push_back(&o);
    for (auto _ : state) {
        for (BaseObject* o : objs) o->flags ^= OBJ_REBOUND;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlainLoopOverObjects)->Unit(benchmark::kMicrosecond);

// Rebinding alone (no library loads): 10,000 objects over the 32 lists, tables swapped.
void BM_RebindOnly10000Objects(benchmark::State& state) {
    static int fake[2][ACTOR_CLASS_COUNT];
    void* tables[2][ACTOR_CLASS_COUNT];
    for (int t = 0; t < 2; ++t)
        for (int i = 0; i < ACTOR_CLASS_COUNT; ++i) tables[t][i] = &fake[t][i];
    // Raw object headers: their class tables are fakes, so no destructor may run on them.
    std::vector<uint64_t> store(size_t(LIVE_OBJECTS) * 3, 0);
    for (int i = 0; i < LIVE_OBJECTS; ++i) {
        auto* obj = reinterpret_cast<BaseObject*>(&store[size_t(i) * 3]);
        memcpy(static_cast<void*>(obj), &tables[0][1 + i % 50], sizeof(void*));
        actor_lists[i % ACTOR_LIST_COUNT]->push_back(obj);
    }
    int cur = 0;
    for (auto _ : state) {
        rebind_objects(tables[cur], tables[cur ^ 1]);
        cur ^= 1;
    }
    for (ObjectList* list : actor_lists) list->num = 0;
}
BENCHMARK(BM_RebindOnly10000Objects)->Unit(benchmark::kMicrosecond);

void BM_SwapWith10000Objects(benchmark::State& state) {
    init_timer();
    fs::path dir = make_game_folder("veltmoor_swap_bench");
    fs::path v1 = fs::path(VELTMOOR_TEST_MODULE_DIR) / "test_actor_v1.so";
    fs::path v2 = fs::path(VELTMOOR_TEST_MODULE_DIR) / "test_actor_v2.so";
    fs::copy_file(v1, dir / "actor.so");
    load_game_module(nullptr, nullptr);
    actor_module.init_actor();
    Clones clones;
    clones.fill(Actor_list, LIVE_OBJECTS);
    bool second = true;
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(second ? v2 : v1, dir / "actor_new.so", fs::copy_options::overwrite_existing);
        second = !second;
        state.ResumeTiming();
        check_game_module();
    }
    clones.release(Actor_list);
    actor_module.close_actor();
    unload_game_module();
    fs::remove_all(dir);
}
BENCHMARK(BM_SwapWith10000Objects)->Unit(benchmark::kMillisecond)->Iterations(40);

// The real module: a touched source, the rebuild script with the compiler, the swap.
void BM_SourceChangeToSwappedModule(benchmark::State& state) {
    init_timer();
    fs::path dir = make_game_folder("veltmoor_rebuild_bench");
    fs::copy(fs::path(VELTMOOR_SOURCE_ROOT) / "module", dir / "module",
             fs::copy_options::recursive);
    setenv("VELTMOOR_SOURCE_ROOT", VELTMOOR_SOURCE_ROOT, 1);
    fs::copy_file(fs::path(VELTMOOR_TEST_APP_DIR) / "actor.so", dir / "actor.so");
    load_game_module("module/", "main.ls");
    fs::path main_ls = dir / "module" / "main.ls";
    for (auto _ : state) {
        fs::last_write_time(main_ls, fs::last_write_time(main_ls) + std::chrono::seconds(1));
        check_game_module();
        while (is_game_module_rebuilding() || fs::exists(dir / "actor_new.so")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            check_game_module();
        }
    }
    unload_game_module();
    fs::remove_all(dir);
}
BENCHMARK(BM_SourceChangeToSwappedModule)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
} // namespace

BENCHMARK_MAIN();
