// The effect script: spawning by name through settings tables, colours, missing keys,
// unknown names, reloads that fail, and every effect the module asks for.
#include "fx/fx_script.h"
#include "fx/particles.h"
#include "platform/paths.h"
#include "render/error_text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <utime.h>

namespace {
const char* const BASE = R"(
function settings(color) {
    return { accel = vec4f(0.0, 0.0, 0.0, 0.0), life = 1.0, delay = 0.0, size = 1.0,
             mapU = 0, mapV = 128, mapSize = 128, startRoll = 0.0, rollScale = 0.0,
             colorAnim = null, sizeAnim = null, rollAnim = null, color = color }
}
function green(a, b, c, v) { add_glow_particle(a, b, settings(0xFF00FF00)) }
function red(a, b, c, v) { add_blend_particle(a, b, settings([2, 0, 0, 1])) }
function no_roll(a, b, c, v) {
    local s = settings(0xFFFFFFFF)
    delete s.rollAnim
    add_glow_particle(a, b, s)
}
function local_ramp(a, b, c, v) {
    local s = settings(0xFFFFFFFF)
    s.colorAnim = ColorRamp.linear(0xFFFF0000, 0xFF0000FF)
    add_glow_particle(a, b, s)
}
function args(a, b, c, v) {
    local s = settings(0xFFFFFFFF)
    s.size = v
    add_glow_particle(c, a + b, s)
}
)";

int remove_entry(const char* p, const struct stat*, int, struct FTW*) {
    return remove(p);
}

class FxScriptTest : public ::testing::Test {
  protected:
    std::string dir;

    void SetUp() override {
        const char* base = getenv("VELTMOOR_TEST_OUT");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/fx_XXXXXX";
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        dir = templ + "/";
        snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
        mkdir((dir + "test").c_str(), 0755);
        reset_common_fx();
        set_error_message(nullptr);
    }
    void TearDown() override {
        close_fx_script();
        set_error_message(nullptr);
        nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }
    void writeScript(const std::string& text, time_t time) {
        std::ofstream(dir + "test/fx.nut", std::ios::binary) << text;
        struct utimbuf t = {time, time};
        ASSERT_EQ(utime((dir + "test/fx.nut").c_str(), &t), 0);
    }
    static void call(const char* name, float v = 1.0f) {
        call_fx_script(name, make4f(1, 2, 3, 0), make4f(10, 0, 0, 0), make4f(50, 5, 50, 1), v);
    }
    static int live() {
        int n = 0;
        for (const ParticlePool* p : {&blend_particles, &glow_particles})
            for (const Particle& q : p->parts) n += q.life > 0.0f;
        return n;
    }
};

TEST_F(FxScriptTest, ColoursFromIntegersAndLooseValues) {
    writeScript(BASE, 1000);
    init_fx_script();
    ASSERT_FALSE(has_error_message()) << get_error_message();
    call("green");
    call("red");
    ASSERT_EQ(glow_particles.parts.num, 1);
    ASSERT_EQ(blend_particles.parts.num, 1);
    EXPECT_EQ(glow_particles.parts[0].color, 0xFF00FF00u);
    EXPECT_EQ(blend_particles.parts[0].color, 0xFFFF0000u); // [2, 0, 0, 1] clamped
    EXPECT_FALSE(has_error_message()) << get_error_message();
}

TEST_F(FxScriptTest, ArgumentsArriveInOrder) {
    writeScript(BASE, 1000);
    init_fx_script();
    call("args", 3.5f);
    ASSERT_EQ(glow_particles.parts.num, 1);
    const Particle& p = glow_particles.parts[0];
    EXPECT_FLOAT_EQ(p.prev.x, 50.0f); // spawned at c, moving with a + b
    EXPECT_FLOAT_EQ(p.vel.x, 11.0f);
    EXPECT_FLOAT_EQ(p.size, 3.5f);
}

TEST_F(FxScriptTest, UnknownNameAndMissingKeyAreShownAndSpawnNothing) {
    writeScript(BASE, 1000);
    init_fx_script();
    call("no_such_effect");
    EXPECT_STREQ(get_error_message(),
                 "Error in fx script:\nNo 'no_such_effect' function in script");
    EXPECT_EQ(live(), 0);

    set_error_message(nullptr);
    testing::internal::CaptureStdout();
    call("no_roll");
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("getSlot 'rollAnim' failed"), std::string::npos) << log;
    EXPECT_EQ(strncmp(get_error_message(), "Error in fx script:\n", 20), 0);
    EXPECT_EQ(live(), 0);
}

TEST_F(FxScriptTest, RampMadeInALocalOutlivesTheCallWhileItsParticleLives) {
    writeScript(BASE, 1000);
    init_fx_script();
    call("local_ramp");
    ASSERT_EQ(glow_particles.parts.num, 1);
    const ColorRamp* r = glow_particles.parts[0].colorAnim;
    ASSERT_NE(r, nullptr);
    sq_collectgarbage(fx_script_vm());
    EXPECT_EQ(r->getColor(0.0f), 0xFFFF0000u); // still the script's ramp (ASan checks reads)
    EXPECT_EQ(r->getColor(1.0f), 0xFF0000FFu);
}

TEST_F(FxScriptTest, BrokenReloadShowsItsErrorAndKeepsTheOldEffects) {
    writeScript(BASE, 1000);
    init_fx_script();
    call("green");
    writeScript(std::string(BASE) + "\nfunction green(a, b, c, v) { add_glow_particle(\n", 2000);
    reload_fx_script();
    EXPECT_EQ(strncmp(get_error_message(), "Error in fx script:\n", 20), 0);
    EXPECT_EQ(glow_particles.parts.num, 0); // emptied before the reload
    call("green");
    ASSERT_EQ(glow_particles.parts.num, 1);
    EXPECT_EQ(glow_particles.parts[0].color, 0xFF00FF00u);

    // A fixed file clears the message and its update_fx runs each step.
    set_error_message(nullptr);
    writeScript(std::string(BASE) + "\nsteps <- 0\nfunction update_fx(dt) { ++steps; "
                                    "if (steps == 2) green(vec4f(0), vec4f(0), vec4f(0), 0) }\n",
                3000);
    reload_fx_script();
    EXPECT_FALSE(has_error_message()) << get_error_message();
    update_fx_script(0.05f);
    EXPECT_EQ(glow_particles.parts.num, 0);
    update_fx_script(0.05f);
    EXPECT_EQ(glow_particles.parts.num, 1);

    // A throwing update_fx is shown once, then rests until the next edit.
    writeScript(std::string(BASE) + "\nfunction update_fx(dt) { throw \"boom\" }\n", 4000);
    reload_fx_script();
    update_fx_script(0.05f);
    EXPECT_NE(std::string(get_error_message()).find("boom"), std::string::npos)
        << get_error_message();
    set_error_message(nullptr);
    update_fx_script(0.05f);
    EXPECT_FALSE(has_error_message());
}

TEST_F(FxScriptTest, EveryEffectOfTheGameRunsCleanly) {
    std::ifstream in(std::string(VELTMOOR_DATA_DIR) + "/test/fx.nut", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(text.empty());
    writeScript(text, 1000);
    init_fx_script();
    ASSERT_FALSE(has_error_message()) << get_error_message();
    const char* names[] = {"fireball_fx",      "fireball_explode_fx", "waterball_missile_fx",
                           "magic_missile_fx", "water_source_fx",     "water_sink_fx",
                           "meteor_fx",        "meteor_explode_fx",   "wyvern_death_fx",
                           "mana_pickup_fx",   "portal_fx",           "castle_smoke_fx",
                           "mana_ball_fx"};
    for (const char* name : names) {
        reset_common_fx();
        // Effects called every step may live a step or two; what counts is that they show.
        int most = 0;
        for (int step = 0; step < 30; ++step) {
            if (step % 10 == 0)
                call_fx_script(name, make4f(100, 20, 100, 1), make4f(0, 1, 0, 0),
                               make4f(0.5f, 0.3f, 1, 0), 1.0f);
            update_fx_script(0.05f);
            update_common_fx(0.05f);
            most = std::max(most, live());
        }
        ASSERT_FALSE(has_error_message()) << name << ": " << get_error_message();
        EXPECT_GT(most, 0) << name;
    }
}
} // namespace
