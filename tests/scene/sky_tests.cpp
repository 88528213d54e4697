// The sky: sun vectors, the colour table from the script, its fallback and blending.
#include "render/error_text.h"
#include "scene/sky.h"
#include "tests/scene/scene_test_util.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

// Entry i is (elevation, i, number of calls so far).
const char* PROBE_SKY = R"(
calls <- 0
function get_sky_colors(e) {
    calls++
    local r = []
    for (local i = 0; i < 10; i++) r.append([e, i, calls])
    return r
}
)";

class Sky : public SceneTest {
  protected:
    void SetUp() override {
        openScene(32, 32);
        set_error_message(nullptr);
    }
    void startWith(const char* script) {
        writeFile("sky.nut", script);
        init_sky();
    }
};

void expect_vec(const vec4f& v, float x, float y, float z, float eps = 1e-6f) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
    EXPECT_EQ(v.w, 0.0f);
}

TEST_F(Sky, InitialSunAndScriptTable) {
    startWith(PROBE_SKY);
    expect_vec(sun_dir, 0.0f, 0.3162278f, 0.9486833f);
    expect_vec(cur_sun_dir, 0.0f, 0.3162278f, 0.9486833f);
    float elev = float(asin(0.3162278) * 57.29577951308232);
    for (int i = 0; i < 10; ++i) {
        expect_vec(sky_colors[i], elev, float(i), 1.0f, 1e-4f);
        expect_vec(cur_sky_colors[i], elev, float(i), 1.0f, 1e-4f);
        expect_vec(prev_sky_colors[i], elev, float(i), 1.0f, 1e-4f);
    }
    EXPECT_FALSE(has_error_message());
}

TEST_F(Sky, ZeroSunStaysZeroAndStraightUpIs90) {
    startWith(PROBE_SKY);
    set_sky_sun_dir_now(make4f(0, 0, 0, 0));
    expect_vec(sun_dir, 0, 0, 0);
    expect_vec(cur_sun_dir, 0, 0, 0);
    update_sky(0.5f);
    expect_vec(cur_sun_dir, 0, 0, 0);
    EXPECT_EQ(sky_colors[0].x, 0.0f);
    set_sky_sun(false, make4f(0, 7, 0, 0));
    expect_vec(sun_dir, 0, 1, 0);
    EXPECT_FLOAT_EQ(sky_colors[3].x, 90.0f);
    EXPECT_FLOAT_EQ(cur_sky_colors[3].x, 90.0f);
}

TEST_F(Sky, ShortTableShowsTheErrorAndFallsBackWhole) {
    startWith(R"(
function get_sky_colors(e) {
    local r = []
    for (local i = 0; i < 9; i++) r.append([5, 5, 5])
    return r
}
)");
    ASSERT_TRUE(has_error_message());
    EXPECT_EQ(strncmp(get_error_message(), "Error in sky script:\n", 21), 0);
    for (int i = 0; i < 10; ++i) {
        const vec4f& f = SKY_FALLBACK_COLORS[i];
        expect_vec(sky_colors[i], f.x, f.y, f.z);
        expect_vec(cur_sky_colors[i], f.x, f.y, f.z);
    }
    // Entry 2 of the fallback (0.45, 0.15, 0.06) gives the two transmittances.
    expect_vec(cur_sky_colors[11], expf(-0.45f), expf(-0.15f), expf(-0.06f));
    expect_vec(cur_sky_colors[10], expf(-2.25f), expf(-0.75f), expf(-0.3f));
}

TEST_F(Sky, BadEntriesAndThrowingScriptsFallBack) {
    const char* scripts[] = {
        "function get_sky_colors(e) { return 5 }",
        "function get_sky_colors(e) { local r = []; for (local i = 0; i < 10; i++) "
        "r.append([1, 2]); return r }",
        "function get_sky_colors(e) { local r = []; for (local i = 0; i < 10; i++) "
        "r.append(i == 7 ? \"x\" : [1, 2, 3]); return r }",
        "function get_sky_colors(e) { throw \"no colours today\" }",
    };
    for (const char* s : scripts) {
        SCOPED_TRACE(s);
        set_error_message(nullptr);
        startWith(s);
        EXPECT_TRUE(has_error_message());
        expect_vec(sky_colors[7], 3, 6, 15);
        close_sky();
    }
}

TEST_F(Sky, SmoothSunBlendsOverOneStepThenStops) {
    startWith(PROBE_SKY);
    step_sky();
    set_sky_sun(true, make4f(1, 0, 0, 0)); // elevation 0, call 2
    expect_vec(prev_sun_dir, 0.0f, 0.3162278f, 0.9486833f);
    update_sky(0.5f);
    // Halfway between the two suns, normalised.
    float hx = 0.5f, hy = 0.5f * 0.3162278f, hz = 0.5f * 0.9486833f;
    float l = sqrtf(hx * hx + hy * hy + hz * hz);
    expect_vec(cur_sun_dir, hx / l, hy / l, hz / l, 1e-5f);
    float elev = float(asin(0.3162278) * 57.29577951308232);
    expect_vec(cur_sky_colors[4], elev * 0.5f, 4.0f, 1.5f, 1e-4f);
    step_sky();
    update_sky(0.5f);
    expect_vec(cur_sun_dir, 1, 0, 0);
    expect_vec(cur_sky_colors[4], 0.0f, 4.0f, 2.0f);
}

TEST_F(Sky, DerivedEntriesFollowEntry2) {
    vec4f t[NUM_CUR_SKY_COLORS] = {};
    t[2] = make4f(0.45f, 0.15f, 0.06f, 0);
    derive_sky_entries(t);
    expect_vec(t[11], expf(-0.45f), expf(-0.15f), expf(-0.06f));
    expect_vec(t[10], expf(-2.25f), expf(-0.75f), expf(-0.3f));
    t[2] = make4f(0, 0, 0, 0);
    derive_sky_entries(t);
    expect_vec(t[10], 1, 1, 1);
}

TEST_F(Sky, ReloadPicksUpTheChangedScriptForTheCurrentSun) {
    startWith(PROBE_SKY);
    setFileTime("sky.nut", 1000);
    reload_sky();                           // a changed time alone reloads and snaps
    EXPECT_FLOAT_EQ(sky_colors[0].z, 1.0f); // the reload reset the call counter
    writeFile("sky.nut", "function get_sky_colors(e) { local r = []; for (local i = 0; i < 10; "
                         "i++) r.append([0.5, 0.25, e]); return r }");
    setFileTime("sky.nut", 2000);
    reload_sky();
    float elev = float(asin(0.3162278) * 57.29577951308232);
    expect_vec(cur_sky_colors[9], 0.5f, 0.25f, elev, 1e-4f);
    expect_vec(prev_sky_colors[9], 0.5f, 0.25f, elev, 1e-4f);
    writeFile("sky.nut", "function get_sky_colors(e) { return [ }");
    setFileTime("sky.nut", 3000);
    reload_sky();
    EXPECT_TRUE(has_error_message()); // the old function stays bound
    reload_sky();
}

TEST_F(Sky, ShippedScriptCoversEveryElevation) {
    init_sky();
    for (int e = -90; e <= 90; e += 3) {
        float a = float(e) / 57.29577951308232f;
        set_sky_sun(false, make4f(cosf(a), sinf(a), 0, 0));
        ASSERT_FALSE(has_error_message()) << e << ": " << get_error_message();
        for (int i = 0; i < 10; ++i) {
            ASSERT_TRUE(std::isfinite(sky_colors[i].x) && sky_colors[i].x >= 0) << e;
            ASSERT_TRUE(std::isfinite(sky_colors[i].z) && sky_colors[i].z >= 0) << e;
        }
    }
    EXPECT_GT(sky_colors[0].x, 1.0f); // noon sun is bright
}

} // namespace
