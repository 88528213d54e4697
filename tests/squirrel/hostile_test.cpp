// Hostile scripts that used to crash or miscompute: deep prefix chains, nested regexp groups,
// native nesting through threads, huge literal counts, over-long calls and numbers, and
// callbacks that resize the array they work on.
#include "sq_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string repeat(const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

TEST(SquirrelHostile, LongPrefixChainsAreCompileErrors) {
    TestVm t;
    for (const char* op : {"!", "-", "~", "typeof ", "clone ", "resume ", "++", "--", "delete "}) {
        std::string src = "local x = 1; return " + repeat(op, 100000) + "x";
        EXPECT_FALSE(t.run(src.c_str())) << op;
        EXPECT_EQ(t.lastError(), "expression or block nested too deeply") << op;
    }
    // ordinary chains still compile
    EXPECT_TRUE(t.run("print(!!!-~-1)"));
    EXPECT_EQ(t.out, "true");
}

TEST(SquirrelHostile, RegexpNestingAndLongSubjects) {
    TestVm t;
    EXPECT_TRUE(
        t.run(("try { regexp(\"" + repeat("(", 100000) + "\") } catch (e) { print(e) }").c_str()));
    EXPECT_EQ(t.out, "too many nested groups");
    t.out.clear();
    // matching keeps its backtracking off the C stack: repetitions of groups over long input
    EXPECT_TRUE(t.run("local s = \"\"; for (local i = 0; i < 25000; i++) s += \"ab\"\n"
                      "print(regexp(\"(ab)*\").match(s) + \" \" + regexp(\"(a|b)*\").match(s))\n"
                      "print(\" \" + regexp(\"((((a|b))))+$\").search(s).end)"));
    EXPECT_EQ(t.out, "true true 50000");
    t.out.clear();
    // the matcher does not backtrack, so what is exponential elsewhere ends quickly here; a
    // pattern that would take cubic time runs out of budget instead of hanging
    EXPECT_TRUE(t.run("local s = \"\"; for (local i = 0; i < 3000; i++) s += \"a\"\n"
                      "print(regexp(\"(a|aa)*(a|aa)*b\").search(s) + \" \")\n"
                      "try { regexp(\"(a|b)*(a*c)\").search(s) } catch (e) { print(e) }"));
    EXPECT_EQ(t.out, "null regexp too complex");
}

TEST(SquirrelHostile, NativeNestingLimitHoldsAcrossThreads) {
    TestVm t;
    EXPECT_TRUE(t.run("function f(n) { return n == 0 ? 0 : newthread(f).call(n - 1) + 1 }\n"
                      "try { f(100000) } catch (e) { print(e) }"));
    EXPECT_EQ(t.out, "Native stack overflow");
    t.out.clear();
    EXPECT_TRUE(t.run("function g(n) { return n == 0 ? 0 : g.call(this, n - 1) + 1 }\n"
                      "print(g(40)); try { g(100000) } catch (e) { print(\" \" + e) }"));
    EXPECT_EQ(t.out, "40 Native stack overflow");
    t.out.clear();
    // the count unwinds: the VM works normally afterwards
    EXPECT_TRUE(t.run("print(newthread(@(x) x * 2).call(21))"));
    EXPECT_EQ(t.out, "42");
}

// 100,000 distinct constants: each literal is found through a hash, not a scan of the others
TEST(SquirrelHostile, ManyLiteralsInOneFunction) {
    TestVm t;
    std::string src = "local a = [";
    for (int i = 0; i < 50000; ++i)
        src += "\"s" + std::to_string(i) + "\", " + std::to_string(i) + ".5,";
    src += "\"s7\", 7.5]; print(a.len() + \" \" + a[99999] + a[0] + (a[100000] == a[14]))";
    EXPECT_TRUE(t.run(src.c_str()));
    EXPECT_EQ(t.out, "100002 49999.5s0true");
}

TEST(SquirrelHostile, StackSlotLimitIsACompileError) {
    TestVm t;
    auto args = [](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            if (i) s += ',';
            s += std::to_string(i);
        }
        return s;
    };
    std::string ok =
        "local f = function(...) { return vargv.len() }\nlocal r = f(" + args(250) + ")\nprint(r)";
    EXPECT_TRUE(t.run(ok.c_str()));
    EXPECT_EQ(t.out, "250");
    for (int n : {253, 255, 256, 1000}) {
        std::string bad =
            "local f = function(...) { return vargv.len() }\nprint(f(" + args(n) + "))";
        EXPECT_FALSE(t.run(bad.c_str())) << n;
        EXPECT_EQ(t.lastError(), "internal compiler error: too many locals") << n;
    }
}

TEST(SquirrelHostile, NumbersSaturateOrFailToCompile) {
    TestVm t;
    EXPECT_TRUE(t.run("print(\"99999999999999999999\".tointeger() + \" \" +"
                      "\"-99999999999999999999\".tointeger() + \" \" + \"42\".tointeger())"));
    EXPECT_EQ(t.out, "9223372036854775807 -9223372036854775808 42");
    EXPECT_FALSE(t.run("return 0x10000000000000000"));
    EXPECT_EQ(t.lastError(), "too many digits for an Hex number");
    t.out.clear();
    EXPECT_TRUE(t.run("print(0xFFFFFFFFFFFFFFFF + \" \" + 08 + \" \" + 017)"));
    EXPECT_EQ(t.out, "-1 8 15");
}

TEST(SquirrelHostile, CallbacksThatResizeTheArray) {
    TestVm t;
    // growing the array inside the callback does not extend the walk
    EXPECT_TRUE(
        t.run("local a = [1, 2, 3]; a.apply(function(v) { a.append(v); return v * 2 })\n"
              "local b = [1, 2]; local f = b.filter(function(i, v) { b.append(v); return true })\n"
              "local c = [1, 2]; local r = c.reduce(function(s, v) { c.append(v); return s + v })\n"
              "print(a.len() + \" \" + a[0] + a[2] + \" \" + f.len() + \" \" + r)"));
    EXPECT_EQ(t.out, "6 26 2 3");
    t.out.clear();
    // a comparator that resizes is an error, not a silent restore
    EXPECT_TRUE(t.run("local a = [5, 3, 4, 1, 2]\n"
                      "try { a.sort(function(x, y) { a.append(0); return x <=> y }) }"
                      "catch (e) { print(e) }"));
    EXPECT_EQ(t.out, "array resized during sort operation");
    t.out.clear();
    EXPECT_TRUE(t.run("print([3, 1, 2].sort(@(a, b) a > b).reduce(@(s, x) s + x, \"\") + "
                      "[3, 1, 2].sort(@(a, b) (a - b) * 0.5)[1])"));
    EXPECT_EQ(t.out, "1232");
}

TEST(SquirrelHostile, ThreadsDoNotSuspendThroughNatives) {
    TestVm t;
    // suspending inside map's callback used to return into map with the native half done
    EXPECT_TRUE(t.run("local th = newthread(function() { return [1, 2].map(@(x) suspend(x)) })\n"
                      "try { th.call() } catch (e) { print(e + \" \" + th.getstatus()) }"));
    EXPECT_EQ(t.out, "cannot suspend through native calls/metamethods idle");
    t.out.clear();
    // a plain suspend still works, and wakeupthrow raises at the suspend point
    EXPECT_TRUE(
        t.run("local th = newthread(function() { try { suspend(1) } catch (e) { return e } })\n"
              "print(th.call() + \" \" + th.wakeupthrow(\"hi\") + \" \" + th.getstatus())"));
    EXPECT_EQ(t.out, "1 hi idle");
}

} // namespace
