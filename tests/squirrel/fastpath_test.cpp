// The interpreter's fast paths (operands fused into operators and jumps, lookups that remember
// their slot, metamethods run in the caller's loop, captured locals read through a pointer) must
// give exactly what the generic paths give, including errors and their lines.
#include "sq_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string run_out(const char* src) {
    TestVm t;
    EXPECT_TRUE(t.run(src)) << t.lastError();
    return t.out;
}

TEST(SquirrelFastPath, FusedOperandsKeepTypesOrderAndErrors) {
    // int, float, mixed, string concatenation, division by zero, bitwise ops with local and
    // constant right operands; constants beyond the small-integer form
    EXPECT_EQ(
        run_out("local a = 7, b = 2, f = 0.5, s = \"x\"\n"
                "print((a - b) + \" \" + (a * f) + \" \" + (a / b) + \" \" + (a / 2.0) + \" \")\n"
                "print((s + a) + \" \" + (a + s) + \" \" + (a * 3000000000) + \" \")\n"
                "print((a & b) + \" \" + (a ^ 12) + \" \" + (a << b) + \" \" + (-a >>> 60))\n"),
        "5 3.5 3 3.5 x7 7x 21000000000 2 11 28 15");
    TestVm t;
    EXPECT_FALSE(t.run("local a = 1, z = 0\nlocal q = a /\n z\n"));
    EXPECT_EQ(t.lastError(), "division by zero");
    EXPECT_FALSE(t.run("local a = {}, k = 1\nlocal q = a - k\n"));
    EXPECT_EQ(t.lastError(), "arith op - on between 'table' and 'integer'");
    EXPECT_FALSE(t.run("local a = 1.5\nlocal q = a & 3\n"));
    EXPECT_EQ(t.lastError(), "bitwise op between 'float' and 'integer'");
}

TEST(SquirrelFastPath, CompareJumpsAndLoopConditions) {
    // conditions with a local or constant right operand, mixed numbers, strings, null; loop
    // conditions that end in && / || (their jumps land after the pasted condition)
    EXPECT_EQ(run_out("local n = 3, f = 2.5, r = \"\"\n"
                      "for (local i = 0; i < n; i++) r += i\n"
                      "for (local x = 0.0; x <= f; x += 1) r += \"f\"\n"
                      "local s = \"b\"\n"
                      "if (s > \"a\") r += \"s\"\n"
                      "if (null < 1) r += \"n\"\n"
                      "local i = 0, j = 10\n"
                      "while (i < 5 && j > 7) { i++; j-- }\n"
                      "r += i + \"\" + j\n"
                      "for (local k = 0; k < 4 || k == 10; k++) r += \"k\"\n"
                      "do { i-- } while (i != 0)\n"
                      "print(r + i)\n"),
              "012fffsn37kkkk0");
    // conditions, increments and environments are moved after the code they follow: their
    // first load must not merge with the last one of the local declared just before
    EXPECT_EQ(run_out("cnt <- 0\n"
                      "local z = 1\n"
                      "local y = z\n"
                      "while (this.cnt < 3) cnt++\n"
                      "local q = z\n"
                      "for (local i = z; this.cnt < 6; this.cnt++) {}\n"
                      "local w = z\n"
                      "local f = function[this]() { return cnt }\n"
                      "print(f())\n"),
              "6");
    TestVm t;
    EXPECT_FALSE(t.run("local a = {}, n = 1\nif (a < n) print(1)\n"));
    EXPECT_EQ(t.lastError(), "comparison between 'table' and '1'");
}

TEST(SquirrelFastPath, RememberedSlotsFollowTablesThatChange) {
    // one instruction reading the same key from tables of different shapes, across rehashes
    // and after the key is deleted (its slot becomes a tombstone)
    TestVm t;
    ASSERT_TRUE(t.run("function getx(o) { return o.x }\n"
                      "local a = { x = 1 }, b = { p = 0, q = 0, x = 2 }\n"
                      "local r = getx(a) + \" \" + getx(b) + \" \"\n"
                      "for (local i = 0; i < 100; i++) a[\"k\" + i] <- i\n"
                      "r += getx(a) + \" \" + getx(b)\n"
                      "delete a.x\n"
                      "a.y <- 5\n"
                      "print(r)\n"));
    EXPECT_EQ(t.out, "1 2 1 2");
    EXPECT_FALSE(t.run("getx({ y = 1 })"));
    EXPECT_EQ(t.lastError(), "the index 'x' does not exist");
    // methods on instances, tables and built-in types through the same call site
    EXPECT_EQ(run_out("class C { function f() { return \"c\" } }\n"
                      "local objs = [C(), { f = @() \"t\" }, C()], r = \"\"\n"
                      "foreach (o in objs) r += o.f()\n"
                      "foreach (v in [[1, 2], \"abc\"]) r += v.len()\n"
                      "local fl = 1.5, n = 4\n"
                      "r += fl.tostring() + n.tofloat() + n.tostring().len()\n"
                      "print(r)\n"),
              "ctc231.541");
}

TEST(SquirrelFastPath, GlobalsFromMethodsStillPassThroughDelegatesAndGet) {
    // a name missing in this is looked up in this's default delegate before the root table,
    // and a class with _get is asked first; tables with delegates go through them
    EXPECT_EQ(run_out("gval <- 5\n"
                      "tostring <- \"root tostring\"\n"
                      "class A { function f() { return gval + \" \" + typeof tostring + \" \" + "
                      "sqrt(4) } }\n"
                      "class B { function _get(k) { return k == \"gval\" ? 99 : null }\n"
                      "  function f() { return gval + \" \" + typeof tostring } }\n"
                      "local t = { function f() { return gval + \" \" + typeof len } }\n"
                      "local d = { function f() { return gval } }.setdelegate({ gval = 7 })\n"
                      "print(A().f() + \"|\" + B().f() + \"|\" + t.f() + \"|\" + d.f())\n"),
              "5 function 2|99 null|5 function|7");
}

TEST(SquirrelFastPath, MetamethodFramesBehaveAsNestedCalls) {
    TestVm t;
    ASSERT_TRUE(t.run("class V { x = 0; constructor(a) { x = a }\n"
                      "  function _add(o) { if (o == 0) throw \"boom\"; return V(x + o) }\n"
                      "  function _sub(o) { return o > 0 ? this - (o - 1) : this }\n"
                      "  function _mul(o) { suspend(1); return this } }\n"
                      "local a = V(1), k = 4\n"
                      "local r = (a + k).x + \" \" + (a - 50).x + \" \"\n"
                      "try { a + 0 } catch (e) { r += e + \" \" }\n"
                      "try { a - 200 } catch (e) { r += e + \" \" }\n"
                      "local th = newthread(function() { return V(2) * 3 })\n"
                      "try { th.call() } catch (e) { r += e + \" \" }\n"
                      "r += typeof (a + \"s\")\n"
                      "print(r)\n"));
    EXPECT_EQ(t.out, "5 1 boom Native stack overflow cannot suspend through native "
                     "calls/metamethods string");
    // the error handler saw the metamethod's frame: an uncaught error inside it names it
    EXPECT_FALSE(t.run("local a = V(1)\nlocal b = a + 0\n"));
    EXPECT_EQ(t.lastError(), "boom");
    // after all that, nesting counts are back to zero: a thread may suspend again
    t.out.clear();
    ASSERT_TRUE(t.run("local th = newthread(function() { suspend(7); return 8 })\n"
                      "print(th.call() + \" \" + th.wakeup())\n"));
    EXPECT_EQ(t.out, "7 8");
}

TEST(SquirrelFastPath, CapturedLocalsSurviveStackGrowthAndTheirThread) {
    // closures made deep in a recursion (the stack grows after they capture) and closures
    // left behind by a suspended thread that is then freed
    EXPECT_EQ(run_out("local fs = []\n"
                      "function deep(n) { local v = n; fs.append(function() { return v++ })\n"
                      "  if (n > 0) deep(n - 1); return fs[fs.len() - 1]() }\n"
                      "deep(3000)\n"
                      "print(fs[0]() + \" \" + fs[2999]() + \" \" + fs[3000]())\n"),
              "3000 1 3001");
    EXPECT_EQ(run_out("local keep = null\n"
                      "local t = newthread(function() { local n = 41\n"
                      "  keep = function() { return ++n }; suspend(0); return n })\n"
                      "t.call()\n"
                      "t = null\n"
                      "collectgarbage()\n"
                      "print(keep() + \" \" + keep())\n"),
              "42 43");
}

TEST(SquirrelFastPath, LeafNativesFallBackForEverythingUnusual) {
    // answered without a frame when the arguments are plain; borrowed onto other types, called
    // with the wrong count or types, or on an empty array, the full path reports as before
    EXPECT_EQ(
        run_out(
            "local a = [1, 2], r = \"\"\n"
            "r += a.append(3).len() + \" \" + a.pop() + \" \" + a.top() + \" \" + a.len()\n"
            "r += \" \" + sin(0) + \" \" + sqrt(16) + \" \" + floor(-1.5) + \" \"\n"
            "r += (2.7).tointeger() + \" \" + true.tointeger() + \" \" + (3).tofloat() + \" \"\n"
            "local t = { len = [].len }, s = { len = \"\".len }\n"
            "foreach (f in [@() t.len(), @() [].pop(), @() sin(\"x\"), @() sin(1, 2),\n"
            "               @() a.append(), @() s.len()])\n"
            "  try { f() } catch (e) { r += e + \"|\" }\n"
            "print(r)\n"),
        "3 3 2 2 0 4 -2 2 1 3 parameter 0 has an invalid type 'table' ; expected: 'array'|"
        "empty array|parameter 1 has an invalid type 'string' ; expected: 'integer|float'|"
        "wrong number of parameters|wrong number of parameters|"
        "parameter 0 has an invalid type 'table' ; expected: 'string'|");
}

} // namespace
