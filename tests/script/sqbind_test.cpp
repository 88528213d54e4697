#include "script_harness.h"
#include "world/rnd.h"

#include <cstring>

using namespace sqbind;

namespace {
const ColorRamp* seen_ramp = reinterpret_cast<const ColorRamp*>(1);
void take_ramp(const ColorRamp* r) {
    seen_ramp = r;
}
vec4f seen_vec;
void take_vec(vec4f v) {
    seen_vec = v;
}
void take_loose(AnyVec4f v) {
    seen_vec = v.v;
}
void throws_native() {
    throw SquirrelError("native failure");
}
int add_ints(int a, int b) {
    return a + b;
}
} // namespace

TEST_F(ScriptTest, ArgumentReadersAcceptAndRefuse) {
    register_function(vm, "take_ramp", take_ramp);
    register_function(vm, "take_vec", take_vec);
    register_function(vm, "take_loose", take_loose);
    register_function(vm, "add_ints", add_ints);

    EXPECT_TRUE(run("take_ramp(null)"));
    EXPECT_EQ(seen_ramp, nullptr);
    EXPECT_TRUE(run("take_ramp(ColorRamp.constRamp(0xFF102030))"));
    EXPECT_NE(seen_ramp, nullptr);
    EXPECT_EQ(nativeError("take_ramp(FloatRamp.constRamp(1))"), "getInst: invalid argument type");
    EXPECT_EQ(nativeError("take_vec(null)"), "getInst: invalid argument type");
    EXPECT_EQ(nativeError("take_vec(2)"), "getInst: invalid argument type");
    EXPECT_TRUE(run("take_vec(vec4f(1, 2, 3, 4))"));
    EXPECT_VEC4(seen_vec, 1, 2, 3, 4);
    EXPECT_TRUE(run("take_loose(2)"));
    EXPECT_VEC4(seen_vec, 2, 2, 2, 2);
    EXPECT_TRUE(run("take_loose([1, 2, 3, 4])"));
    EXPECT_VEC4(seen_vec, 1, 2, 3, 4);
    EXPECT_TRUE(run("take_loose(2.5)"));
    EXPECT_VEC4(seen_vec, 2.5f, 2.5f, 2.5f, 2.5f);
    EXPECT_EQ(nativeError("take_loose(\"x\")"), "getInst: invalid argument type");
    EXPECT_EQ(nativeError("add_ints(1, \"2\")"), "sq_get*() failed (type error)");
    EXPECT_EQ(eval<int>("add_ints(40, 2)"), 42);
}

TEST_F(ScriptTest, NativeErrorLeavesTheVmUsable) {
    register_function(vm, "throws_native", throws_native);
    SQInteger top = sq_gettop(vm);
    EXPECT_EQ(nativeError("function f(x) { return throws_native(); } f(1);"), "native failure");
    EXPECT_EQ(sq_gettop(vm), top);
    EXPECT_EQ(eval<int>("1 + 2"), 3);
    EXPECT_EQ(nativeError("throws_native()"), "native failure");
    EXPECT_EQ(eval<float>("getx(vec4f(5))"), 5.0f);
}

TEST_F(ScriptTest, SqFuncBindsCallsAndStaysNullWhenMissing) {
    SqFunc<float(float)> twice;
    twice.bind(vm, "twice");
    EXPECT_TRUE(twice.isNull());
    ASSERT_TRUE(run("function twice(x) { return x * 2; }"));
    twice.bind(vm, "twice");
    ASSERT_FALSE(twice.isNull());
    SQInteger top = sq_gettop(vm);
    EXPECT_FLOAT_EQ(twice(21.0f), 42.0f);
    EXPECT_EQ(sq_gettop(vm), top);

    SqFunc<SqObject(int, int, vec4f, vec4f)> pick;
    ASSERT_TRUE(run("function pick(a, b, c, d) { return a > b ? c : d; }"));
    pick.bind(vm, "pick");
    SqObject r = pick(2, 1, make4f(1, 2, 3, 4), make4f(5));
    r.push(vm);
    EXPECT_VEC4(Arg<vec4f>::get(vm, -1), 1, 2, 3, 4);
    sq_poptop(vm);

    SqFunc<float(int, int)> bad;
    ASSERT_TRUE(run("function bad(a, b) { return \"text\"; }"));
    bad.bind(vm, "bad");
    try {
        bad(1, 2);
        ADD_FAILURE();
    } catch (const SquirrelError& e) {
        EXPECT_STREQ(e.desc, "sq_get*() failed (type error)");
    }
    ASSERT_TRUE(run("function fails(t) { throw \"inside\"; }"));
    SqFunc<void(float)> fails;
    fails.bind(vm, "fails");
    testing::internal::CaptureStdout();
    try {
        fails(1.0f);
        ADD_FAILURE();
    } catch (const SquirrelError& e) {
        EXPECT_STREQ(e.desc, "SqFunc<> call failed");
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(sq_gettop(vm), top);
}

TEST_F(ScriptTest, SlotsOfTables) {
    ASSERT_TRUE(run("settings <- { size = 2.5, color = [1, 0, 0, 1], ramp = null }"));
    sq_pushroottable(vm);
    sq_pushstring(vm, "settings", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(vm, -2)));
    SqObject t;
    t.fromStack(vm, -1);
    sq_pop(vm, 2);
    EXPECT_FLOAT_EQ(get_slot<float>(t, "size"), 2.5f);
    EXPECT_VEC4(get_slot<AnyVec4f>(t, "color").v, 1, 0, 0, 1);
    EXPECT_EQ(get_slot<const FloatRamp*>(t, "ramp"), nullptr);
    testing::internal::CaptureStdout();
    EXPECT_THROW(get_slot<float>(t, "missing"), SquirrelError);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "getSlot 'missing' failed\n");
}

TEST_F(ScriptTest, CompileErrorReportFormat) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(run("local x = ;", "/games/v/gen/bad.nut"));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("bin//games/v/gen/bad.nut(1,", 0), 0u) << out;
    EXPECT_NE(out.find("): error: "), std::string::npos) << out;
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
}

TEST_F(ScriptTest, RuntimeErrorReportWithCallstackAndLocals) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(run("function inner(a) {\n"
                     "  local s = \"txt\";\n"
                     "  local f = 1.5;\n"
                     "  local n = null;\n"
                     "  local b = true;\n"
                     "  local arr = [1];\n"
                     "  throw \"boom\";\n"
                     "}\n"
                     "function outer() { inner(7); }\n"
                     "outer();\n",
                     "err.nut"));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("\nCALLSTACK\nbin/err.nut(7): ERROR: boom (in inner())\n"
                        "bin/err.nut(9): function outer() (CALLSTACK)\n",
                        0),
              0u)
        << out;
    size_t locals = out.find("\nLOCALS\n");
    ASSERT_NE(locals, std::string::npos) << out;
    for (const char* line :
         {"[a] 7\n", "[s] \"txt\"\n", "[f] 1.5\n", "[n] NULL\n", "[b] true\n", "[arr] ARRAY\n"})
        EXPECT_NE(out.find(line, locals), std::string::npos) << line << " in\n" << out;
}

TEST_F(ScriptTest, ErrorWithoutAStringMessageIsUnknown) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(run("throw 42;", "n.nut"));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("ERROR: unknown (in main())"), std::string::npos) << out;
}

TEST_F(ScriptTest, ErrorFromTheVmLastError) {
    testing::internal::CaptureStdout();
    run("throw \"last one\";");
    testing::internal::GetCapturedStdout();
    SquirrelError e(vm);
    EXPECT_STREQ(e.desc, "last one");
    sq_reseterror(vm);
    SquirrelError none(vm);
    EXPECT_STREQ(none.desc, "unknown error");
}
