#include "platform/paths.h"
#include "script/sqbind.h"
#include "world/erosion.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world/rnd.h"
#include "world/world_gen_script.h"

#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace sqbind;
using namespace HeightmapData;

namespace {
std::string last_error;
vec4f last_sun = {0, 0, 0, 0};

uint64_t hash_world() {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](const void* p, size_t n) {
        const unsigned char* b = static_cast<const unsigned char*>(p);
        for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    };
    mix(hmap, sizeof(float) * HMAP_CELLS);
    mix(surface, sizeof(Surface) * HMAP_CELLS);
    return h;
}

// A world-generation VM over scripts in a temporary game folder.
class WorldGenTest : public ::testing::Test {
  protected:
    fs::path dir;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("veltmoor-wg-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "gen");
        snprintf(app_path, sizeof(app_path), "%s/", dir.c_str());
        world_gen_hooks = WorldGenHooks();
        world_gen_hooks.set_error_message = [](const char* t) { last_error = t ? t : ""; };
        world_gen_hooks.set_sun_dir = [](const vec4f& d) { last_sun = d; };
        last_error.clear();
        reset();
    }
    void TearDown() override {
        close_world_gen();
        fs::remove_all(dir);
    }
    void write(const char* name, const std::string& text) {
        fs::path p = dir / name;
        std::ofstream(p) << text;
        static int64_t stamp = 1700000000;
        stamp += 10;
        struct timespec ts[2] = {{stamp, 0}, {stamp, 0}};
        utimensat(AT_FDCWD, p.c_str(), ts, 0);
    }
    // Starts the VM with a main script whose generate_world runs `body`.
    void start(const std::string& body, const std::string& extra = "") {
        write("gen/main.nut", extra + "\nfunction generate_world() {\n" + body + "\n}\n");
        testing::internal::CaptureStdout();
        init_world_gen();
        log = testing::internal::GetCapturedStdout();
    }
    bool gen() {
        testing::internal::CaptureStdout();
        bool ok = generate_world();
        log = testing::internal::GetCapturedStdout();
        return ok;
    }
    std::string log;
};
} // namespace

TEST_F(WorldGenTest, GeneratesAndCopiesIntoTheWorkingArrays) {
    start("set_rnd_seed(7); reseed_noise(); add_simplex_noise(0, 20, 4, 4, 0.5);"
          "apply_water_mask(HmapMask(0.5), null); set_sun_dir(vec4f(0, 2, 0, 0));");
    ASSERT_EQ(last_error, "") << log;
    ASSERT_TRUE(gen()) << log;
    EXPECT_NE(log.find("game_rnd_seed="), std::string::npos);
    EXPECT_NE(log.find("generated world in "), std::string::npos);
    float lo, hi;
    calcHtRange(lo, hi);
    EXPECT_GT(hi, lo);
    EXPECT_EQ(memcmp(hmap, target_hmap, sizeof(hmap)), 0);
    EXPECT_FLOAT_EQ(tmpw[3][4].depth, 0.5f);
    EXPECT_FLOAT_EQ(last_sun.y, 1.0f);
}

TEST_F(WorldGenTest, SameSeedSameWorld) {
    start("set_rnd_seed(99); reseed_noise();"
          "add_fast_noise(0, 10, null, GT_ROCK, 255, 0.6);"
          "add_voronoi_hills(8, 0, 12, 0.8);"
          "gen_voronoi_faults(4, 0, 6, 0.5, 2, 2, 0.3);"
          "gen_crater(100, 100, 12, 0.8);"
          "gen_fault(50, 60, 1, 0.5, 8, 0.75, 1, null, GT_SAND);"
          "place_house(30, 40, -1);"
          "gen_droplet_erosion(3000, { Kq = 5, reactions = [[[1, 0, 0, 0], [0, 1, 0, 0], 0.5]] });"
          "recolor_by_height(ColorRamp.linear(0xFF000000, 0xFFFFFFFF), null);");
    ASSERT_TRUE(gen()) << log;
    uint64_t first = hash_world();
    ASSERT_TRUE(gen()) << log;
    EXPECT_EQ(hash_world(), first);
}

TEST_F(WorldGenTest, ExtremeHouseCoordinatesWrapLikeTheMap) {
    // The map wraps every 256 cells: INT_MIN and INT_MAX land where 0 and 255 do.
    start("place_house(-2147483648, 2147483647, 2);");
    ASSERT_TRUE(gen()) << log;
    uint64_t extreme = hash_world();
    close_world_gen();
    start("place_house(0, 255, 2);");
    ASSERT_TRUE(gen()) << log;
    EXPECT_EQ(hash_world(), extreme);
}

TEST_F(WorldGenTest, ErosionTableMatchesTheNativeCall) {
    start("set_rnd_seed(3); reseed_noise(); add_simplex_noise(0, 30, 4, 5, 0.5);"
          "gen_droplet_erosion(5000, { Kq = 4, Kd = 0.1, depositBlend = 1,"
          " reactions = [[[1, 0, 0, 0], [0, 1, 0, 1], 2]] });");
    ASSERT_TRUE(gen()) << log;
    uint64_t scripted = hash_world();

    reset();
    game_rnd_seed = 3;
    reseed_noise();
    addSimplexNoise(0, 30, 4, 5, 0.5f);
    ErosionParams p;
    p.Kq = 4;
    p.Kd = 0.1f;
    p.depositBlend = 1;
    ErosionReaction r = {{-2, 2, 0, 2}, {1, 0, 0, 0}};
    p.reactions.push_back(r);
    genDropletErosion(5000, p);
    EXPECT_EQ(hash_world(), scripted);
}

TEST_F(WorldGenTest, ScriptMistakesAreScriptErrorsNotFatal) {
    const char* cases[][2] = {
        {"add_fast_noise(5, 1, null, GT_NONE, 255, 0.5)", "min_ht<=max_ht"},
        {"add_fast_noise(-1, 1, null, GT_NONE, 255, 0.5)", "min_ht>=0"},
        {"add_simplex_noise(0, 1, 3, 1, 0.5)", "(tile&(tile-1))==0 && tile>0"},
        {"add_voronoi_hills(0, 0, 1, 1)", "(tile&(tile-1))==0 && tile>0"},
        {"gen_voronoi_faults(6, 0, 1, 1, 1, 1, 1)", "(tile&(tile-1))==0 && tile>0"},
        {"HmapMask.fromVoronoiHills(3, 0, 1, 1)", "tile must be power of 2 in fromVoronoiHills()"},
        {"HmapMask.fromVoronoiHills(0, 0, 1, 1)", "tile must be power of 2 in fromVoronoiHills()"},
        {"HmapMask.fromSimplexNoise(1, 12, 1, null, 0.5)",
         "tile must be power of 2 in fromSimplexNoise()"},
        {"HmapMask.fromVoronoiFaults(5, 0, 1, 0, 1, 1, 1)",
         "tile must be power of 2 in fromVoronoiFaults()"},
        {"HmapMask.fromVoronoiFaults(4, 0, 1, 0, 3, 1, 1)",
         "frequency multiplier must be power of 2 in fromVoronoiFaults()"},
        {"HmapMask.fromVoronoiFaults(1 << 20, 0, 1, 0, 1 << 20, 1, 1)",
         "tile times frequency multiplier too large in fromVoronoiFaults()"},
        {"tiled_noise2(0.5, 0.5, 24)", "tile must be power of 2 in tiled_noise2()"},
        {"tiled_fractal_noise2(0.5, 0.5, 0, 3, null, 0.5)",
         "tile must be power of 2 in tiled_fractal_noise2()"},
        {"apply_height_mask(null, null)", "no mask and no func in apply_height_mask()"},
        {"apply_water_mask(null, null)", "no mask and no func in apply_water_mask()"},
        {"repaint_land(null)", "null function in repaint_land()"},
        {"recolor_by_height(null, null)", "null ramp in recolor_by_height()"},
    };
    for (auto& c : cases) {
        start(c[0]);
        EXPECT_FALSE(gen()) << c[0];
        EXPECT_EQ(last_error, std::string("Error in world gen script:\n") + c[1]) << c[0];
        close_world_gen();
    }
    start("local m = HmapMask.fromVoronoiHills(1, 2, 4, 0.9); apply_height_mask(m, null);");
    EXPECT_TRUE(gen()) << log;
    close_world_gen();
    // Powers of two above the map size are valid tiles, not errors.
    start("apply_height_mask(HmapMask.fromVoronoiHills(512, 0, 1, 0.9), null);"
          "apply_height_mask(HmapMask.fromSimplexNoise(1, 1024, 2, null, 0.5), null);"
          "apply_height_mask(HmapMask.fromVoronoiFaults(512, 0, 1, 0.1, 2, 2, 1), null);"
          "tiled_noise2(0.5, 0.5, 4096);");
    EXPECT_TRUE(gen()) << log;
}

TEST_F(WorldGenTest, MissingGenerateWorld) {
    write("gen/main.nut", "function other() {}");
    init_world_gen();
    EXPECT_FALSE(gen());
    EXPECT_EQ(last_error, "Error in world gen script:\nNo 'generate_world' function in script");
}

TEST_F(WorldGenTest, RepaintAndRecolour) {
    start("repaint_land(function(x, y, ground, surf) {"
          "  if (x == 1 && y == 2) return [0xFF112233, GT_ROCK];"
          "  return [[1, 0, 0, 1], GT_SAND, 0x80FFFFFF, ST_SNOW]; });");
    surface[hm_index(1, 2)].surf_color = 0x12345678;
    surface[hm_index(1, 2)].surf_type = ST_GRASS;
    surface[hm_index(1, 2)].tile = 5;
    ASSERT_TRUE(gen()) << log;
    const Surface& a = surface[hm_index(1, 2)];
    EXPECT_EQ(a.color, 0xFF112233u);
    EXPECT_EQ(a.ground_type, GT_ROCK);
    EXPECT_EQ(a.surf_color, 0u);
    EXPECT_EQ(a.surf_type, 0u);
    const Surface& b = surface[hm_index(7, 7)];
    EXPECT_EQ(b.color, 0xFFFF0000u);
    EXPECT_EQ(b.ground_type, GT_SAND);
    EXPECT_EQ(b.surf_color, 0x80FFFFFFu);
    EXPECT_EQ(b.surf_type, unsigned(ST_SNOW));
    close_world_gen();

    // Flat land: every cell takes the ramp's start; weights of zero leave a cell's colour.
    start("recolor_by_height(ColorRamp.linear(0xFF102030, 0xFFFFFFFF), null);"
          "repaint_land(@(x, y, g, s) [x == 0 && y == 0 ? 0 : 0xFF0000FF, GT_ROCK]);"
          "recolor_land4(0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF000000);");
    ASSERT_TRUE(gen()) << log;
    EXPECT_EQ(surface[0].color, 0u);
    EXPECT_EQ(surface[0].ground_type, GT_SOIL);
    // Weights (0, 0, 1, 1): half blue, half black.
    EXPECT_EQ(surface[5].color, 0xFF000080u);
}

TEST_F(WorldGenTest, MasksAgainstHandComputedCells) {
    for (int z = 0; z < HMAP_SIZE; ++z)
        for (int x = 0; x < HMAP_SIZE; ++x) hmap[hm_index(x, z)] = float(x) * 0.5f;
    game_rnd_seed = 11;
    // The masks are made while the script loads, from this map and this seed.
    start("", "::slope <- HmapMask.fromSlope(); ::flat <- HmapMask(3);"
              "::fn <- HmapMask(@(x, y) x + 1000 * y); ::mm <- fn.calcMinMax();"
              "::hills <- HmapMask.fromVoronoiHills(8, 2, 6, 0.9);"
              "::faults <- HmapMask.fromVoronoiFaults(4, 1, 9, 0, 1, 1, 0.5);");
    ASSERT_EQ(last_error, "") << log;
    HSQUIRRELVM vm = world_gen_vm.vm;
    auto eval = [&](const char* expr) {
        std::string code = std::string("return ") + expr + ";";
        SQInteger top = sq_gettop(vm);
        EXPECT_TRUE(
            SQ_SUCCEEDED(sq_compilebuffer(vm, code.c_str(), SQInteger(code.size()), "e", 1)));
        sq_pushroottable(vm);
        EXPECT_TRUE(SQ_SUCCEEDED(sq_call(vm, 1, SQTrue, SQTrue))) << expr;
        float f = Arg<float>::get(vm, -1);
        sq_settop(vm, top);
        return f;
    };
    // x slope of 0.5 per cell: gx = 4 x 1 (Sobel weights 1, 2, 1 over a difference of 1).
    EXPECT_FLOAT_EQ(eval("slope.getraw(10, 10)"), 8.0f / sqrtf(16.0f + 64.0f));
    EXPECT_FLOAT_EQ(eval("flat.get(17.3, 200.9)"), 3.0f);
    EXPECT_FLOAT_EQ(eval("fn.getraw(5, 2)"), 2005.0f);
    EXPECT_FLOAT_EQ(eval("fn.get(5.25, 2)"), 2005.25f);
    EXPECT_FLOAT_EQ(eval("fn.get(5, 2.5)"), 2505.0f);
    EXPECT_FLOAT_EQ(eval("fn.getraw(-1, 256)"), 255.0f);
    EXPECT_FLOAT_EQ(eval("mm[0]"), 0.0f);
    EXPECT_FLOAT_EQ(eval("mm[1]"), 255.0f + 255000.0f);

    // The same cell by hand: the slope and plain masks draw no random numbers.
    game_rnd_seed = 11;
    float h[256];
    for (float& v : h) v = 2.0f + 4.0f * rnd_float();
    Point2 off[9];
    int ids[9];
    float c = 8.0f / 256.0f;
    tiled_voronoi_noise2_all9(37 * c, 91 * c, 3, off, ids);
    float best = 0;
    for (int k = 0; k < 9; ++k) {
        float w = 1.0f - (off[k].x * off[k].x + off[k].y * off[k].y) / (0.9f * 0.9f);
        if (w > 0 && h[voronoi_id_hash(ids[k])] * w > best) best = h[voronoi_id_hash(ids[k])] * w;
    }
    EXPECT_EQ(eval("hills.getraw(37, 91)"), best);

    // Faults without distortion: the plateau of the nearest feature far from borders.
    float h2[256];
    for (float& v : h2) v = 1.0f + 8.0f * rnd_float();
    float d2[4];
    int id4[4];
    float cf = 4.0f / 256.0f;
    tiled_voronoi_noise2_near4(12 * cf, 200 * cf, 2, d2, id4, nullptr);
    float M = h2[voronoi_id_hash(id4[0])], Q = h2[voronoi_id_hash(id4[1])];
    float S = fabsf(M - Q) > 0.1f ? fabsf(M - Q) : 0.1f;
    float o = (sqrtf(d2[1]) - sqrtf(d2[0])) * (0.5f / cf) / S;
    float expect = o > 1 ? M : ((M - Q) * o + M + Q) / 2;
    EXPECT_FLOAT_EQ(eval("faults.getraw(12, 200)"), expect);
}

TEST_F(WorldGenTest, EditingTheScriptRegeneratesAndErrorsKeepTheWorld) {
    start("add_fast_noise(0, 10, null, GT_NONE, 255, 0.5);");
    ASSERT_TRUE(gen()) << log;
    uint64_t first = hash_world();
    write("gen/main.nut", "function generate_world() { add_fast_noise(0, 10, null, GT_NONE, 255");
    testing::internal::CaptureStdout();
    check_world_gen_reload();
    log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(last_error.rfind("Error in world gen script:\n", 0), 0u) << last_error;
    EXPECT_EQ(hash_world(), first);
    write("gen/main.nut",
          "function generate_world() { add_fast_noise(0, 30, null, GT_NONE, 255, 0.5); }");
    testing::internal::CaptureStdout();
    check_world_gen_reload();
    log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(last_error, "");
    EXPECT_NE(hash_world(), first);
    EXPECT_NE(log.find("generated world in"), std::string::npos);
}

// The game makes every world on a worker thread: the runner gets the whole generation,
// its result comes back, and a script reload goes the same way.
TEST_F(WorldGenTest, GenerationGoesThroughTheRunnerWithItsResult) {
    static int runs;
    static std::thread::id ran_on;
    runs = 0;
    world_gen_hooks.run_generation = [](void (*work)()) {
        ++runs;
        std::thread t([work] {
            ran_on = std::this_thread::get_id();
            work();
        });
        t.join();
    };
    start("add_fast_noise(0, 10, null, GT_NONE, 255, 0.5);");
    ASSERT_TRUE(gen()) << log;
    EXPECT_EQ(runs, 1);
    EXPECT_NE(ran_on, std::this_thread::get_id());
    EXPECT_NE(log.find("generated world in"), std::string::npos);
    write("gen/main.nut", "function generate_world() { add_fast_noise(0, 10");
    check_world_gen_reload();
    EXPECT_EQ(runs, 1) << "a script that fails to compile must not regenerate";
    write("gen/main.nut", "function generate_world() { throw \"no\"; }");
    testing::internal::CaptureStdout();
    check_world_gen_reload();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(gen()) << "a failing script's false must come back through the runner";
    EXPECT_EQ(runs, 3);
}

TEST_F(WorldGenTest, MaskFunctionsSeeValueAndMask) {
    start("local k = 1.5; apply_water_mask(HmapMask(2), @(d, m) d + m + k);"
          "apply_height_mask(null, @(h) h - 4);");
    ASSERT_TRUE(gen()) << log;
    EXPECT_FLOAT_EQ(water[9][3].depth, 3.5f);
    EXPECT_FLOAT_EQ(tmpw[9][3].depth, 3.5f);
    EXPECT_FLOAT_EQ(hmap[hm_index(3, 9)], -4.0f);
}
