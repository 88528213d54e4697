// Failure paths: C++ exceptions thrown through the VM, stack overflow, hostile sizes, errors
// inside metamethods and natives, and the per-cell call pattern of world generation.
#include "sq_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace {

struct NativeError {
    const char* desc;
};

SQInteger throwing_native(HSQUIRRELVM v) {
    SQInteger n = 0;
    sq_getinteger(v, 2, &n);
    if (n < 0) throw NativeError{"negative"};
    sq_pushinteger(v, n * 2);
    return 1;
}

void register_fn(HSQUIRRELVM v, const char* name, SQFUNCTION f) {
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    sq_newclosure(v, f, 0);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

bool call_global(TestVm& t, const char* name, SQInteger arg, SQInteger* result) {
    HSQUIRRELVM v = t.v;
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    if (SQ_FAILED(sq_get(v, -2))) return false;
    sq_pushroottable(v);
    sq_pushinteger(v, arg);
    bool ok = SQ_SUCCEEDED(sq_call(v, 2, SQTrue, SQTrue));
    if (ok) sq_getinteger(v, -1, result);
    sq_pop(v, ok ? 3 : 2);
    return ok;
}

TEST(SquirrelRobustness, CppExceptionThroughTheVmLeavesItConsistent) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    register_fn(v, "twice", throwing_native);
    // the native is reached through script frames, a metamethod and a foreach
    ASSERT_TRUE(t.run(
        "class M { function _add(o) { return twice(o) } }\n"
        "function deep(n) { if (n == 0) { try { return M() + (n - 1) } catch (e) { return -99 } }"
        " foreach (x in [1]) return deep(n - 1) }\n"
        "function ok(n) { return twice(n) }\n"));
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(sq_gettop(v), 0);
        SQInteger r = 0;
        bool thrown = false;
        try {
            call_global(t, "deep", 20, &r);
        } catch (NativeError& e) {
            thrown = true;
            EXPECT_STREQ(e.desc, "negative");
        }
        EXPECT_TRUE(thrown);
        // the closure stays where sq_call leaves it on failure: pop it with the root table
        EXPECT_EQ(sq_gettop(v), 2);
        sq_settop(v, 0);
        ASSERT_TRUE(call_global(t, "ok", 21, &r));
        EXPECT_EQ(r, 42);
        EXPECT_EQ(sq_gettop(v), 0);
    }
    // script try/catch handlers opened before the exception are gone
    EXPECT_TRUE(t.run("local r = 0; try { r = null.x } catch (e) { r = e }; print(r)"));
    EXPECT_EQ(t.out, "the index 'x' does not exist");
}

TEST(SquirrelRobustness, StackOverflowIsAScriptError) {
    TestVm t;
    EXPECT_TRUE(t.run("function f(n) { return f(n + 1) + 1 }\n"
                      "try { f(0) } catch (e) { print(e) }"));
    EXPECT_EQ(t.out, "stack overflow");
    t.out.clear();
    // recursion through metamethods (native nesting) ends the same way
    EXPECT_TRUE(t.run("class R { function _get(k) { return this[k + \"x\"] } }\n"
                      "try { R().a } catch (e) { print(e) }"));
    EXPECT_EQ(t.out, "Native stack overflow");
    t.out.clear();
    EXPECT_TRUE(t.run("function d(n) { return n == 0 ? 0 : 1 + d(n - 1) } print(d(20000))"));
    EXPECT_EQ(t.out, "20000");
}

TEST(SquirrelRobustness, RunawayLoopsHitTheInstructionLimit) {
    TestVm t;
    sq_setinstructionlimit(t.v, 100000);
    EXPECT_FALSE(t.run("while (true) {}"));
    EXPECT_EQ(t.lastError(), "instruction limit exceeded");
    // a script catching the error cannot keep running: the limit stays exhausted
    EXPECT_FALSE(t.run("for (;;) { try { while (1) {} } catch (e) {} }"));
    // nor build ever longer strings in its catch blocks while the calls unwind
    sq_setinstructionlimit(t.v, 20000);
    t.out.clear();
    EXPECT_TRUE(t.run("function f() { try { f() } catch (e) { throw \"f(\" + e + \")\" } }\n"
                      "try { f() } catch (e) { ::last <- e }"));
    sq_setinstructionlimit(t.v, -1);
    EXPECT_TRUE(t.run("print(::last.len())"));
    EXPECT_LT(std::stoi(t.out), 2048) << "the limit let the catch blocks run on";
    t.out.clear();
    sq_setinstructionlimit(t.v, 1000);
    EXPECT_FALSE(t.run("[1, 2, 3].resize(5000, 0).map(@(x) x)"));
    EXPECT_EQ(t.lastError(), "instruction limit exceeded");
    sq_setinstructionlimit(t.v, -1);
    EXPECT_TRUE(t.run("local n = 0; for (local i = 0; i < 300000; i++) n++; print(n)"));
    EXPECT_EQ(t.out, "300000");
}

TEST(SquirrelRobustness, HostileSizesFailCleanly) {
    TestVm t;
    EXPECT_TRUE(t.run("try { array(1 << 40) } catch (e) { print(e) }"));
    EXPECT_EQ(t.out, "out of memory");
    t.out.clear();
    EXPECT_TRUE(t.run("try { [].resize(1 << 40) } catch (e) { print(e) }"));
    EXPECT_EQ(t.out, "out of memory");
    t.out.clear();
    EXPECT_TRUE(t.run("try { format(\"%1000d\", 1) } catch (e) { print(e) }"));
    EXPECT_EQ(t.out, "width format too long");
    t.out.clear();
    // freeing a long chain of tables does not recurse once per link
    t.out.clear();
    EXPECT_TRUE(t.run("local l = null; for (local i = 0; i < 300000; i++) l = { next = l, v = [i] "
                      "}; l = null; print(\"freed\")"));
    EXPECT_EQ(t.out, "freed");
    // regular expressions on long input neither recurse per character nor run away
    t.out.clear();
    EXPECT_TRUE(t.run("local s = \"\"; for (local i = 0; i < 20000; i++) s += \"ab\";"
                      "print(regexp(\"[ab]*\").match(s));"
                      "print(\" \" + regexp(\"(ab)+c\").search(s + \"c\").end)"));
    EXPECT_EQ(t.out, "true 40001");
    // deeply nested source is a compile error, not a crash
    std::string nested(5000, '(');
    EXPECT_FALSE(t.run(("local x = " + nested + "1").c_str()));
    EXPECT_EQ(t.lastError(), "expression or block nested too deeply");
    t.out.clear();
    // a long string built by doubling stays correct
    EXPECT_TRUE(t.run("local s = \"ab\"; for (local i = 0; i < 20; i++) s += s; print(s.len())"));
    EXPECT_EQ(t.out, "2097152");
}

TEST(SquirrelRobustness, ErrorsLeaveTheVmUsable) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(t.run("local a = [1, 2]; a[5]"));
        EXPECT_EQ(t.lastError(), "the index '5' does not exist");
        EXPECT_FALSE(t.run("local x = (;"));
        EXPECT_EQ(sq_gettop(v), 0);
    }
    // an error inside a generator kills it; the resumer catches it
    EXPECT_TRUE(t.run("function g() { yield 1; throw \"bad\" }\nlocal it = g(); resume it;"
                      "try { resume it } catch (e) { print(e + \" \" + it.getstatus()) }"));
    EXPECT_EQ(t.out, "bad dead");
    t.out.clear();
    // natives called inside generators see the generator's own stack
    EXPECT_TRUE(
        t.run("function up(a) { foreach (s in a) yield s.toupper() + format(\"%d\", s.len()) }\n"
              "foreach (x in up([\"ab\", \"c\"])) print(x)"));
    EXPECT_EQ(t.out, "AB2C1");
    EXPECT_EQ(sq_gettop(v), 0);
}

TEST(SquirrelRobustness, CollectorRunsSafelyInsideCallbacks) {
    TestVm t;
    EXPECT_TRUE(t.run(
        "local r = [1, 2, 3].map(function(x) { collectgarbage(); return x * 2 })\n"
        "local f = [1, 2, 3, 4].filter(function(i, x) { collectgarbage(); return x % 2 == 0 })\n"
        "print(r.len() + \":\" + r[2] + \" \" + f.len() + \":\" + f[1])"));
    EXPECT_EQ(t.out, "3:6 2:4");
    t.out.clear();
    // class attributes are accepted and ignored
    EXPECT_TRUE(t.run("class A </ name = \"a\" /> { </ doc = 1 /> x = 5 } print(A().x)"));
    EXPECT_EQ(t.out, "5");
}

TEST(SquirrelRobustness, ThrowErrorFromNativeIsCatchable) {
    TestVm t;
    register_fn(t.v, "fails",
                [](HSQUIRRELVM v) -> SQInteger { return sq_throwerror(v, "native failure"); });
    EXPECT_TRUE(t.run("try { fails() } catch (e) { print(typeof e + \":\" + e) }"));
    EXPECT_EQ(t.out, "string:native failure");
    EXPECT_FALSE(t.run("fails()"));
    EXPECT_EQ(t.lastError(), "native failure");
}

TEST(SquirrelRobustness, PerCellCallbackLoop) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    ASSERT_TRUE(t.run("function cell(x, y) { return (x ^ y) * 0.5 }"));
    sq_pushroottable(v);
    sq_pushstring(v, "cell", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    double sum = 0, expected = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            sq_push(v, -1);
            sq_pushroottable(v);
            sq_pushinteger(v, x);
            sq_pushinteger(v, y);
            ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 3, SQTrue, SQTrue)));
            SQFloat f = 0;
            ASSERT_TRUE(SQ_SUCCEEDED(sq_getfloat(v, -1, &f)));
            sum += f;
            expected += float(x ^ y) * 0.5f;
            sq_pop(v, 2);
        }
    EXPECT_EQ(sum, expected);
    EXPECT_EQ(sq_gettop(v), 2);
    sq_pop(v, 2);
}

TEST(SquirrelRobustness, CompileErrorTextsAndPositions) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    struct Case {
        const char* src;
        const char* expect;
    } cases[] = {
        {"local s = \"abc", "t(1,15): unfinished string\n"},
        {"x = 1\n  y = = 2", "t(2,7): expression expected\n"},
        {"/* open", "t(1,8): missing \"*/\" in comment\n"},
        {"local a = 0x", ""},
        {"break", "t(1,1): 'break' has to be in a loop block\n"},
    };
    for (auto& c : cases) {
        t.compileErrors.clear();
        sq_compilebuffer(v, c.src, SQInteger(strlen(c.src)), "t", SQTrue);
        EXPECT_EQ(t.compileErrors, c.expect) << c.src;
        sq_settop(v, 0);
    }
}

} // namespace
