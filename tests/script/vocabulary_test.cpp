#include "script_harness.h"
#include "world/rnd.h"

#include <cmath>

using namespace sqbind;

TEST_F(ScriptTest, Vec4fConstructionIndexingAndArithmetic) {
    EXPECT_VEC4(eval<vec4f>("make4f(3)"), 3, 3, 3, 3);
    EXPECT_VEC4(eval<vec4f>("make4f(1, 2)"), 1, 1, 1, 1);
    EXPECT_VEC4(eval<vec4f>("vec4f(1, 2, 3, 4)"), 1, 2, 3, 4);
    EXPECT_VEC4(eval<vec4f>("vec4f(1, 2, 3, 4) * 2"), 2, 4, 6, 8);
    EXPECT_VEC4(eval<vec4f>("vec4f(1, 2, 3, 4) + [1, 1, 1, 1]"), 2, 3, 4, 5);
    EXPECT_VEC4(eval<vec4f>("vec4f(1, 2, 3, 4) - vec4f(1)"), 0, 1, 2, 3);
    EXPECT_VEC4(eval<vec4f>("vec4f(2, 4, 6, 8) / 2"), 1, 2, 3, 4);
    EXPECT_VEC4(eval<vec4f>("-vec4f(1, -2, 3, 0)"), -1, 2, -3, 0);
    EXPECT_FLOAT_EQ(eval<float>("vec4f(1, 2, 3, 4)[3]"), 4.0f);
    EXPECT_FLOAT_EQ(eval<float>("(function() { local v = vec4f(0); v[2] = 9; return v[2]; })()"),
                    9.0f);
    EXPECT_EQ(nativeError("vec4f(1)[4]"), "vec4f index out of range");
    EXPECT_EQ(nativeError("vec4f(1)[-1]"), "vec4f index out of range");
    EXPECT_EQ(nativeError("local v = vec4f(1); v[7] = 1;"), "vec4f index out of range");
    EXPECT_EQ(nativeError("vec4f(1).x"), "sq_get*() failed (type error)");
    EXPECT_EQ(nativeError("vec4f()"), "sq_get*() failed (type error)");
    EXPECT_EQ(nativeError("vec4f(\"a\")"), "sq_get*() failed (type error)");
}

TEST_F(ScriptTest, MethodOnAnotherClassIsAScriptError) {
    testing::internal::CaptureStdout();
    // metamethods are not class members, so the wrong this is given to a plain method
    EXPECT_FALSE(run("ColorRamp.get.call(vec4f(1), 0.5);"));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("invalid 'this' in C++ method call"), std::string::npos) << out;
    EXPECT_FLOAT_EQ(eval<float>("vec4f(1, 2, 3, 4)[1]"), 2.0f);
}

TEST_F(ScriptTest, ConstructorOnAnotherClassIsAScriptError) {
    EXPECT_EQ(nativeError("local r = ColorRamp.constRamp(0); vec4f.constructor.call(r, 1);"),
              "constructor called on an instance of another class");
    EXPECT_EQ(nativeError("local v = vec4f(1); ColorRamp.constructor.call(v, @(t) 0);"),
              "constructor called on an instance of another class");
    EXPECT_EQ(eval<int>("7"), 7);
}

TEST_F(ScriptTest, VectorFunctions) {
    EXPECT_VEC4(eval<vec4f>("cross(vec4f(1, 0, 0, 5), vec4f(0, 1, 0, 5))"), 0, 0, 1, 0);
    EXPECT_VEC4(eval<vec4f>("dot3(vec4f(1, 2, 3, 100), vec4f(4, 5, 6, 100))"), 32, 32, 32, 32);
    EXPECT_VEC4(eval<vec4f>("len3Sq(vec4f(3, 4, 0, 9))"), 25, 25, 25, 25);
    EXPECT_VEC4(eval<vec4f>("len3(vec4f(3, 4, 0, 9))"), 5, 5, 5, 5);
    EXPECT_VEC4(eval<vec4f>("norm3(vec4f(3, 4, 0, 10))"), 0.6f, 0.8f, 0, 2);
    EXPECT_VEC4(eval<vec4f>("norm3(vec4f(0, 0, 0, 1))"), 0, 0, 0, 0);
    vec4f a = eval<vec4f>("norm3a(vec4f(3, 4, 0, 0))");
    EXPECT_NEAR(a.x, 0.6f, 0.001f);
    EXPECT_NEAR(a.y, 0.8f, 0.001f);
    EXPECT_FLOAT_EQ(eval<float>("gety(vec4f(1, 2, 3, 4))"), 2.0f);
    EXPECT_FLOAT_EQ(eval<float>("getz(vec4f(1, 2, 3, 4))"), 3.0f);
    EXPECT_EQ(nativeError("getx([1, 2, 3, 4])"), "getInst: invalid argument type");
}

TEST_F(ScriptTest, RandomNumbersShareTheGameSeed) {
    ASSERT_TRUE(run("set_rnd_seed(-1)"));
    EXPECT_EQ(game_rnd_seed, ~uint64_t(0));
    ASSERT_TRUE(run("set_rnd_seed(12345)"));
    uint64_t s = 12345;
    auto step = [&] {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(s >> 32);
    };
    EXPECT_EQ(eval<int>("irnd()"), int(step() & 0x7FFFFFFF));
    EXPECT_EQ(eval<int>("hmrnd()"), int(step() & 255));
    EXPECT_FLOAT_EQ(eval<float>("frnd()"), float(step()) / 4294967296.0f);
    EXPECT_EQ(game_rnd_seed, s);
    for (int i = 0; i < 200; ++i) {
        float f = eval<float>("hmfrnd()");
        EXPECT_GE(f, 0.0f);
        EXPECT_LT(f, 256.0f);
        float g = eval<float>("rndf(-2, 3)");
        EXPECT_GE(g, -2.0f);
        EXPECT_LT(g, 3.0f);
        float h = eval<float>("hmsrnd()");
        EXPECT_GE(h, -128.0f);
        EXPECT_LT(h, 128.0f);
    }
}

TEST_F(ScriptTest, ColourAndWrapFunctions) {
    EXPECT_VEC4(eval<vec4f>("lerpcolor(0xFF000000, 0xFFFFFFFF, 0.5)"), 0.5f, 0.5f, 0.5f, 1.0f);
    EXPECT_VEC4(eval<vec4f>("lerpcolor([0, 0, 0, 0], vec4f(2), 0.25)"), 0.5f, 0.5f, 0.5f, 0.5f);
    EXPECT_VEC4(eval<vec4f>("mix3colors(1.0, 0.5, 0xFF0000FF, 1, [0, 2, 0, 0], 0.5)"), 0.5f, 1.5f,
                1.5f, 1.5f);
    EXPECT_VEC4(eval<vec4f>("mix4colors(1.0, 1, 1.0, 1, 1.0, 1, 1.0, 1)"), 4, 4, 4, 4);
    EXPECT_FLOAT_EQ(eval<float>("wrap(200)"), -56.0f);
    EXPECT_FLOAT_EQ(eval<float>("wrap(-128)"), 128.0f);
    EXPECT_FLOAT_EQ(eval<float>("wrap(128)"), 128.0f);
    EXPECT_FLOAT_EQ(eval<float>("wrap(-300)"), -44.0f);
    EXPECT_VEC4(eval<vec4f>("hsv2rgba(360, 1, 1, 1)"), 1, 0, 0, 1);
    EXPECT_VEC4(eval<vec4f>("hsv2rgba(0, 1, 1, 1)"), 1, 0, 0, 1);
    EXPECT_VEC4(eval<vec4f>("hsv2rgba(120, 1, 1, 0.5)"), 0, 1, 0, 0.5f);
    EXPECT_VEC4(eval<vec4f>("hsv2rgba(77, 0, 0.3, 1)"), 0.3f, 0.3f, 0.3f, 1);
    // White in LCh is white in sRGB; black stays black.
    vec4f w = eval<vec4f>("lch2rgba(100, 0, 0, 1)");
    EXPECT_NEAR(w.x, 1.0f, 0.002f);
    EXPECT_NEAR(w.y, 1.0f, 0.002f);
    EXPECT_NEAR(w.z, 1.0f, 0.002f);
    vec4f k = eval<vec4f>("lch2rgba(0, 0, 0, 0.25)");
    EXPECT_NEAR(k.x, 0.0f, 0.001f);
    EXPECT_FLOAT_EQ(k.w, 0.25f);
    EXPECT_VEC4(eval<vec4f>("make_dir_xz(0.25)"), cosf(6.28318530717958647692f * 0.25f), 0, 1, 0);
    vec4f d = eval<vec4f>("make_dir_2d(vec4f(1, 0, 0, 0), vec4f(0, 1, 0, 0), 0.5)");
    EXPECT_NEAR(d.x, -1.0f, 1e-6f);
    EXPECT_NEAR(d.y, 0.0f, 1e-6f);
}

TEST_F(ScriptTest, RampsFromFunctionsAndClassFunctions) {
    EXPECT_VEC4(eval<vec4f>("ColorRamp(@(t) [t, 0, 0, 1]).get(-1)"), 0, 0, 0, 1);
    EXPECT_VEC4(eval<vec4f>("ColorRamp(@(t) [t, 0, 0, 1]).get(1)"), 1, 0, 0, 1);
    EXPECT_VEC4(eval<vec4f>("ColorRamp(@(t) [t, 0, 0, 1]).get(2)"), 1, 0, 0, 1);
    EXPECT_VEC4(eval<vec4f>("ColorRamp(@(t) 0xFF00FF00).get(0.3)"), 0, 1, 0, 1);
    EXPECT_FLOAT_EQ(eval<float>("FloatRamp(@(t) t * 4).get(0.5)"), 2.0f);
    EXPECT_FLOAT_EQ(eval<float>("FloatRamp.linear(2, 4).get(0.25)"), 2.5f);
    EXPECT_FLOAT_EQ(eval<float>("FloatRamp.constRamp(7).get(0.9)"), 7.0f);
    EXPECT_VEC4(eval<vec4f>("ColorRamp.linear(0.0, 1.0).get(0.5)"), 0.5f, 0.5f, 0.5f, 0.5f);
    // fadeInOut: rises to b by `in`, holds, falls to c over the last `out`.
    EXPECT_FLOAT_EQ(eval<float>("FloatRamp.fadeInOut(0, 1, 0, 0.25, 0.25).get(0)"), 0.0f);
    EXPECT_FLOAT_EQ(eval<float>("FloatRamp.fadeInOut(0, 1, 0, 0.25, 0.25).get(0.125)"), 0.5f);
    EXPECT_FLOAT_EQ(eval<float>("FloatRamp.fadeInOut(0, 1, 0, 0.25, 0.25).get(0.5)"), 1.0f);
    EXPECT_FLOAT_EQ(eval<float>("FloatRamp.fadeInOut(0, 1, 0, 0.25, 0.25).get(1)"), 0.0f);
    EXPECT_FLOAT_EQ(eval<float>("FloatRamp.fadeInOut(3, 5, 9, 0, 0).get(0)"), 5.0f);
    EXPECT_EQ(nativeError("FloatRamp(@(t) \"no\")"), "sq_get*() failed (type error)");
    testing::internal::CaptureStdout();
    EXPECT_EQ(nativeError("FloatRamp(@(t) undefined_thing)"), "SqFunc<> call failed");
    testing::internal::GetCapturedStdout();
}

TEST_F(ScriptTest, RampDumpText) {
    testing::internal::CaptureStdout();
    ASSERT_TRUE(run("FloatRamp.linear(0, 256).dump(\"lin\")"));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("\nstatic FloatRamp lin=\n{\n  0, 1, 2, 3, 4, 5, 6, 7,\n  8, 9,", 0), 0u)
        << out;
    EXPECT_NE(out.find("  248, 249, 250, 251, 252, 253, 254, 255,\n  256,\n};\n"),
              std::string::npos)
        << out;

    testing::internal::CaptureStdout();
    ASSERT_TRUE(run("ColorRamp.constRamp([0.5, 1, 0, 0.25]).dump(\"c\")"));
    out = testing::internal::GetCapturedStdout();
    std::string e = " make4f(0.5, 1, 0, 0.25),";
    std::string row = e + e + e + e + "\n ";
    EXPECT_EQ(out.rfind("\nstatic ColorRamp c=\n{\n " + row + row, 0), 0u) << out;
    EXPECT_EQ(out.substr(out.size() - (e.size() + 6)), "\n " + e + "\n};\n");
}

TEST(StdRamps, Shapes) {
    init_std_ramps();
    EXPECT_FLOAT_EQ(size_05_2_anim.e[0], 0.5f);
    EXPECT_FLOAT_EQ(size_05_2_anim.e[256], 2.0f);
    EXPECT_FLOAT_EQ(size_05_4_anim.e[256], 4.0f);
    EXPECT_FLOAT_EQ(std_roll_anim.get(0.7f), 0.0f);
    // The std glow ramp fades in over the first tenth and out over the rest.
    EXPECT_FLOAT_EQ(glow_std_fade_anim.e[0].w, 0.0f);
    EXPECT_GT(glow_std_fade_anim.get(0.1f).w, 0.99f);
    EXPECT_LT(glow_std_fade_anim.get(0.5f).w, 0.9f);
    EXPECT_FLOAT_EQ(glow_std_fade_anim.e[256].w, 0.0f);
    // The end ramp holds in the middle; the rev ramp is still rising at one half.
    EXPECT_FLOAT_EQ(blend_end_fade_anim.get(0.5f).w, 1.0f);
    EXPECT_FLOAT_EQ(blend_end_fade_anim.get(0.5f).x, 1.0f);
    EXPECT_LT(blend_rev_fade_anim.get(0.5f).w, 0.9f);
    EXPECT_FLOAT_EQ(blend_std_fade_anim.e[0].x, 1.0f); // transparent white, not black
}
