// The rest of the C API surface: object operations through the stack, delegates, clones,
// closure environments and infos, free variables, raw access, comparisons and formatting.
#include "sq_test_util.h"

#include <gtest/gtest.h>

namespace {

std::string top_string(HSQUIRRELVM v) {
    const SQChar* s = "";
    sq_getstring(v, -1, &s);
    std::string r = s;
    sq_pop(v, 1);
    return r;
}

TEST(SquirrelApiMore, ArrayOperations) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    sq_newarray(v, 2); // [null, null]
    sq_pushinteger(v, 5);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayinsert(v, -2, 1))); // [null, 5, null]
    EXPECT_EQ(sq_getsize(v, -1), 3);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayremove(v, -1, 0))); // [5, null]
    EXPECT_TRUE(SQ_FAILED(sq_arrayremove(v, -1, 7)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayresize(v, -1, 4)));
    EXPECT_TRUE(SQ_FAILED(sq_arrayresize(v, -1, -1)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayreverse(v, -1))); // [null, null, null, 5]
    ASSERT_TRUE(SQ_SUCCEEDED(sq_arraypop(v, -1, SQTrue)));
    SQInteger i = 0;
    sq_getinteger(v, -1, &i);
    EXPECT_EQ(i, 5);
    sq_pop(v, 1);
    EXPECT_EQ(sq_getsize(v, -1), 3);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_clear(v, -1)));
    EXPECT_TRUE(SQ_FAILED(sq_arraypop(v, -1, SQFalse)));
    sq_pop(v, 1);
    EXPECT_EQ(sq_gettop(v), 0);
}

TEST(SquirrelApiMore, DelegatesCloneRawAccessAndDelete) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    ASSERT_TRUE(t.run("proto <- { function hello() { return \"hi \" + name } }"));
    sq_newtable(v);
    sq_pushstring(v, "name", -1);
    sq_pushstring(v, "bob", -1);
    sq_newslot(v, -3, SQFalse);
    sq_pushroottable(v);
    sq_pushstring(v, "proto", -1);
    sq_get(v, -2);
    sq_remove(v, -2);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_setdelegate(v, -2)));
    // the delegate answers through sq_get but not through sq_rawget
    sq_pushstring(v, "hello", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_push(v, -2);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)));
    EXPECT_EQ(top_string(v), "hi bob");
    sq_pop(v, 1);
    sq_pushstring(v, "hello", -1);
    EXPECT_TRUE(SQ_FAILED(sq_rawget(v, -2)));
    // a delegate cycle is refused
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getdelegate(v, -1)));
    sq_push(v, -2);
    EXPECT_TRUE(SQ_FAILED(sq_setdelegate(v, -2)));
    sq_pop(v, 2);
    // clones are shallow copies that keep the delegate
    ASSERT_TRUE(SQ_SUCCEEDED(sq_clone(v, -1)));
    sq_pushstring(v, "name", -1);
    sq_pushstring(v, "ann", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_rawset(v, -3)));
    sq_pushstring(v, "name", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_deleteslot(v, -2, SQTrue)));
    EXPECT_EQ(top_string(v), "ann");
    EXPECT_EQ(sq_getsize(v, -1), 0);
    sq_pop(v, 1);
    sq_pushstring(v, "name", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -2)));
    EXPECT_EQ(top_string(v), "bob");
    sq_pop(v, 1);
    EXPECT_EQ(sq_gettop(v), 0);
}

TEST(SquirrelApiMore, ToStringTypeofCompareAndInstanceof) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    ASSERT_TRUE(
        t.run("class P { v = 0; constructor(x) { v = x } function _tostring() { return \"P\" + v }"
              " function _typeof() { return \"pt\" } function _cmp(o) { return v <=> o.v } }\n"
              "class Q extends P {}\na <- P(1); b <- Q(2)"));
    auto push_global = [&](const char* n) {
        sq_pushroottable(v);
        sq_pushstring(v, n, -1);
        sq_get(v, -2);
        sq_remove(v, -2);
    };
    push_global("a");
    push_global("b");
    ASSERT_TRUE(SQ_SUCCEEDED(sq_tostring(v, -2)));
    EXPECT_EQ(top_string(v), "P1");
    ASSERT_TRUE(SQ_SUCCEEDED(sq_typeof(v, -1)));
    EXPECT_EQ(top_string(v), "pt");
    EXPECT_LT(sq_cmp(v), 0);
    push_global("P");
    EXPECT_EQ(sq_instanceof(v), SQTrue); // b instanceof P
    sq_pop(v, 1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getclass(v, -1)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getbase(v, -1)));
    push_global("P");
    HSQOBJECT x, y;
    sq_getstackobj(v, -1, &x);
    sq_getstackobj(v, -2, &y);
    EXPECT_EQ(x._unVal.pClass, y._unVal.pClass);
    sq_settop(v, 0);
    // plain values convert without metamethods
    sq_pushfloat(v, 0.1f);
    sq_tostring(v, -1);
    EXPECT_EQ(top_string(v), "0.1");
    sq_pop(v, 1);
}

SQInteger counter_fn(HSQUIRRELVM v) {
    // free variable 0 counts the calls
    SQInteger n = 0;
    sq_getinteger(v, -1, &n);
    sq_pushinteger(v, n + 1);
    sq_setfreevariable(v, 0, 0);
    SQInteger top = sq_gettop(v);
    sq_pushinteger(v, top);
    return 1;
}

TEST(SquirrelApiMore, ClosureInfosEnvironmentsAndFreeVariables) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    ASSERT_TRUE(t.run("function who(a, b = 1) { return this.tag }"));
    sq_pushroottable(v);
    sq_pushstring(v, "who", -1);
    sq_get(v, -2);
    SQInteger np = 0, nf = 0;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getclosureinfo(v, -1, &np, &nf)));
    EXPECT_EQ(np, 3);
    EXPECT_EQ(nf, 0);
    sq_newtable(v);
    sq_pushstring(v, "tag", -1);
    sq_pushstring(v, "bound", -1);
    sq_newslot(v, -3, SQFalse);
    sq_push(v, -1); // the closure holds its environment weakly: keep it alive
    ASSERT_TRUE(SQ_SUCCEEDED(sq_bindenv(v, -3)));
    sq_pushroottable(v); // ignored: the environment is bound
    sq_pushinteger(v, 0);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 2, SQTrue, SQTrue)));
    EXPECT_EQ(top_string(v), "bound");
    sq_settop(v, 0);

    sq_pushroottable(v);
    sq_pushstring(v, "count", -1);
    sq_pushinteger(v, 0);
    sq_newclosure(v, counter_fn, 1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_setnativeclosurename(v, -1, "count")));
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    // the free variable sits after the arguments
    ASSERT_TRUE(t.run("print(count(7) + \",\" + count())"));
    EXPECT_EQ(t.out, "3,2");
    sq_pushroottable(v);
    sq_pushstring(v, "count", -1);
    sq_get(v, -2);
    EXPECT_NE(sq_getfreevariable(v, -1, 0), nullptr);
    SQInteger calls = 0;
    sq_getinteger(v, -1, &calls);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(sq_getfreevariable(v, -2, 5), nullptr);
    sq_settop(v, 0);
}

TEST(SquirrelApiMore, ThrowObjectAndFormat) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    sq_pushroottable(v);
    sq_pushstring(v, "raise", -1);
    sq_newclosure(
        v,
        [](HSQUIRRELVM vm) -> SQInteger {
            sq_newtable(vm);
            sq_pushstring(vm, "code", -1);
            sq_pushinteger(vm, 404);
            sq_newslot(vm, -3, SQFalse);
            return sq_throwobject(vm);
        },
        0);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "fmt", -1);
    sq_newclosure(
        v,
        [](HSQUIRRELVM vm) -> SQInteger {
            SQInteger len = 0;
            SQChar* out = nullptr;
            if (SQ_FAILED(sqstd_format(vm, 2, &len, &out))) return SQ_ERROR;
            sq_pushstring(vm, out, len);
            return 1;
        },
        0);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    EXPECT_TRUE(t.run(
        "try { raise() } catch (e) { print(e.code) } print(fmt(\" %05.1f|%-3s|\", 2.25, \"a\"))"));
    EXPECT_EQ(t.out, "404 002.2|a  |");
    EXPECT_FALSE(t.run("fmt(\"%d\")"));
    EXPECT_EQ(t.lastError(), "not enough parameters for the given format string");
}

TEST(SquirrelApiMore, ScopesClosuresAndControlFlowEdges) {
    TestVm t;
    // closures made in a loop body see their own iteration's local, also after continue/break
    EXPECT_TRUE(t.run("local fs = []\n"
                      "for (local i = 0; i < 6; i++) { local k = i * 10; fs.append(@() k); if (i % "
                      "2) continue; if (i == 4) break }\n"
                      "local s = \"\"; foreach (f in fs) s += f() + \" \"; print(s)"));
    EXPECT_EQ(t.out, "0 10 20 30 40 ");
    t.out.clear();
    // a switch inside a loop: locals in case bodies, break leaves the switch only
    EXPECT_TRUE(t.run("local r = \"\"\n"
                      "foreach (x in [1, 2, 3]) { switch (x) { case 2: local y = x * 5; r += y; "
                      "break; default: r += x } r += \",\" }\n"
                      "print(r)"));
    EXPECT_EQ(t.out, "1,10,3,");
    t.out.clear();
    // try inside a loop with break and continue keeps the handler stack balanced
    EXPECT_TRUE(t.run("local n = 0\n"
                      "for (local i = 0; i < 5; i++) { try { if (i == 1) continue; if (i == 3) "
                      "break; n += i } catch (e) {} }\n"
                      "try { throw \"outer\" } catch (e) { print(n + e) }"));
    EXPECT_EQ(t.out, "2outer");
}

} // namespace
