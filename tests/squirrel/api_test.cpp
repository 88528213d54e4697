// The C API as the binding layer uses it: stack, values, tables, classes with type tags,
// instances with user pointers and release hooks, free variables, weak references, registry,
// const table, calls, compilation, errors, stack infos and locals.
#include "sq_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(SquirrelApi, PushAndGetEveryType) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    EXPECT_EQ(sq_gettop(v), 0);
    sq_pushinteger(v, -(1LL << 40));
    sq_pushfloat(v, 1.5f);
    sq_pushbool(v, SQTrue);
    sq_pushstring(v, "hello world", 5);
    sq_pushnull(v);
    int marker = 0;
    sq_pushuserpointer(v, &marker);
    EXPECT_EQ(sq_gettop(v), 6);
    SQInteger i = 0;
    SQFloat f = 0;
    SQBool b = SQFalse;
    const SQChar* s = nullptr;
    SQUserPointer p = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getinteger(v, 1, &i)));
    EXPECT_EQ(i, -(1LL << 40));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getfloat(v, 2, &f)));
    EXPECT_EQ(f, 1.5f);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getfloat(v, 1, &f))); // integers read as floats
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getinteger(v, 2, &i)));
    EXPECT_EQ(i, 1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getbool(v, 3, &b)));
    EXPECT_EQ(b, SQTrue);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getstring(v, 4, &s)));
    EXPECT_STREQ(s, "hello");
    EXPECT_EQ(sq_gettype(v, 5), OT_NULL);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getuserpointer(v, -1, &p)));
    EXPECT_EQ(p, &marker);
    // type mismatches fail without touching the stack
    EXPECT_TRUE(SQ_FAILED(sq_getstring(v, 1, &s)));
    EXPECT_TRUE(SQ_FAILED(sq_getfloat(v, 4, &f)));
    EXPECT_TRUE(SQ_FAILED(sq_getuserpointer(v, 1, &p)));
    EXPECT_EQ(sq_gettop(v), 6);
    sq_remove(v, 1);
    EXPECT_EQ(sq_gettype(v, 1), OT_FLOAT);
    sq_settop(v, 2);
    EXPECT_EQ(sq_gettop(v), 2);
    sq_push(v, 1);
    EXPECT_EQ(sq_gettype(v, -1), OT_FLOAT);
    sq_pop(v, 3);
    EXPECT_EQ(sq_gettop(v), 0);
}

TEST(SquirrelApi, TablesArraysAndSlots) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    sq_newtable(v);
    sq_pushstring(v, "k", -1);
    sq_pushinteger(v, 7);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
    sq_pushstring(v, "k", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    SQInteger i = 0;
    sq_getinteger(v, -1, &i);
    EXPECT_EQ(i, 7);
    sq_pop(v, 1);
    // a missing key fails, pops the key and leaves the table
    sq_pushstring(v, "missing", -1);
    EXPECT_TRUE(SQ_FAILED(sq_get(v, -2)));
    EXPECT_EQ(sq_gettop(v), 1);
    EXPECT_EQ(t.lastError(), "the index 'missing' does not exist");
    // assignment to a missing slot fails, newslot creates it
    sq_pushstring(v, "n", -1);
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_FAILED(sq_set(v, -3)));
    EXPECT_EQ(sq_getsize(v, -1), 1);
    sq_newarray(v, 0);
    for (int k = 0; k < 3; ++k) {
        sq_pushinteger(v, k * 10);
        sq_arrayappend(v, -2);
    }
    EXPECT_EQ(sq_getsize(v, -1), 3);
    sq_pushinteger(v, 2);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_getinteger(v, -1, &i);
    EXPECT_EQ(i, 20);
    sq_pop(v, 3);
    EXPECT_EQ(sq_gettop(v), 0);
}

TEST(SquirrelApi, CompileCallAndReturnValue) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    const char* src = "function add(a, b) { return a + b }\nprint(\"loaded\")";
    ASSERT_TRUE(t.run(src));
    EXPECT_EQ(t.out, "loaded");
    sq_pushroottable(v);
    sq_pushstring(v, "add", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_pushroottable(v);
    sq_pushinteger(v, 40);
    sq_pushfloat(v, 2.5f);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 3, SQTrue, SQTrue)));
    SQFloat f = 0;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getfloat(v, -1, &f)));
    EXPECT_EQ(f, 42.5f);
    // the call left the closure and the result
    EXPECT_EQ(sq_gettop(v), 3);
    EXPECT_EQ(sq_gettype(v, -2), OT_CLOSURE);
    sq_pop(v, 3);
}

TEST(SquirrelApi, CompileErrorReportsSourceLineAndColumn) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    const char* src = "local a = 1\nlocal b = (a + ;\n";
    EXPECT_TRUE(SQ_FAILED(sq_compilebuffer(v, src, SQInteger(strlen(src)), "bad.nut", SQTrue)));
    EXPECT_EQ(t.compileErrors, "bad.nut(2,16): expression expected\n");
    EXPECT_EQ(t.lastError(), "expression expected");
    EXPECT_EQ(sq_gettop(v), 0);
    // without raiseerror the handler stays silent
    t.compileErrors.clear();
    EXPECT_TRUE(SQ_FAILED(sq_compilebuffer(v, src, SQInteger(strlen(src)), "bad.nut", SQFalse)));
    EXPECT_EQ(t.compileErrors, "");
    // the VM stays usable
    EXPECT_TRUE(t.run("print(\"fine\")"));
    EXPECT_EQ(t.out, "fine");
}

struct ErrorReport {
    std::string message;
    std::vector<std::string> frames;
    std::vector<std::string> locals;
};
ErrorReport g_report;

SQInteger report_error(HSQUIRRELVM v) {
    const SQChar* msg = "unknown";
    if (sq_gettype(v, 2) == OT_STRING) sq_getstring(v, 2, &msg);
    g_report.message = msg;
    SQStackInfos si;
    for (SQInteger level = 1; SQ_SUCCEEDED(sq_stackinfos(v, level, &si)); ++level)
        g_report.frames.push_back(std::string(si.funcname) + "@" + si.source + ":" +
                                  std::to_string(si.line));
    const SQChar* name;
    for (SQUnsignedInteger idx = 0; (name = sq_getlocal(v, 1, idx)) != nullptr; ++idx) {
        std::string val;
        SQInteger i;
        const SQChar* s;
        if (SQ_SUCCEEDED(sq_getinteger(v, -1, &i)) && sq_gettype(v, -1) == OT_INTEGER)
            val = std::to_string(i);
        else if (SQ_SUCCEEDED(sq_getstring(v, -1, &s)))
            val = s;
        else
            val = "?";
        g_report.locals.push_back(std::string(name) + "=" + val);
        sq_pop(v, 1);
    }
    return 0;
}

TEST(SquirrelApi, RuntimeErrorHandlerSeesStackInfosAndLocals) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    g_report = {};
    sq_newclosure(v, report_error, 0);
    sq_seterrorhandler(v);
    const char* src = "function inner(x) {\n  local y = \"why\"\n  return x.nope\n}\n"
                      "function outer() { local r = inner(5); return r }\nouter()\n";
    EXPECT_FALSE(t.run(src, "err.nut"));
    EXPECT_EQ(g_report.message, "the index 'nope' does not exist");
    ASSERT_EQ(g_report.frames.size(), 3u);
    EXPECT_EQ(g_report.frames[0], "inner@err.nut:3");
    EXPECT_EQ(g_report.frames[1], "outer@err.nut:5");
    EXPECT_EQ(g_report.frames[2], "main@err.nut:6");
    ASSERT_GE(g_report.locals.size(), 3u);
    EXPECT_EQ(g_report.locals[1], "x=5");
    EXPECT_EQ(g_report.locals[2], "y=why");
    EXPECT_EQ(t.lastError(), "the index 'nope' does not exist");
    // a caught error does not reach the handler
    g_report = {};
    EXPECT_TRUE(t.run("try { null.x } catch (e) {}"));
    EXPECT_EQ(g_report.message, "");
}

SQInteger fn_thunk(HSQUIRRELVM v) {
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getuserpointer(v, -1, &p)) || !p)
        return sq_throwerror(v, "no function stored");
    sq_pop(v, 1);
    auto f = reinterpret_cast<SQFloat (*)(SQFloat)>(p);
    SQFloat x = 0;
    if (SQ_FAILED(sq_getfloat(v, 2, &x))) return sq_throwerror(v, "type error");
    sq_pushfloat(v, f(x));
    return 1;
}
SQFloat twice(SQFloat x) {
    return 2 * x;
}

TEST(SquirrelApi, NativeClosureWithFreeVariable) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    sq_pushroottable(v);
    sq_pushstring(v, "twice", -1);
    sq_pushuserpointer(v, reinterpret_cast<void*>(&twice));
    sq_newclosure(v, fn_thunk, 1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
    sq_pushstring(v, "broken", -1);
    sq_pushuserpointer(v, nullptr);
    sq_newclosure(v, fn_thunk, 1);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    EXPECT_TRUE(t.run("print(twice(4) + \",\" + twice(1.25))"));
    EXPECT_EQ(t.out, "8,2.5");
    t.out.clear();
    EXPECT_TRUE(t.run("try { broken(1) } catch (e) { print(e) }"));
    EXPECT_EQ(t.out, "no function stored");
    t.out.clear();
    EXPECT_TRUE(t.run("try { twice(\"x\") } catch (e) { print(e) }"));
    EXPECT_EQ(t.out, "type error");
}

int g_tag;
int g_released;
SQInteger release_hook(SQUserPointer p, SQInteger) {
    ++g_released;
    delete static_cast<int*>(p);
    return 1;
}
SQInteger ctor_thunk(HSQUIRRELVM v) {
    SQInteger n = 0;
    sq_getinteger(v, 2, &n);
    if (SQ_FAILED(sq_setinstanceup(v, 1, new int(int(n))))) return SQ_ERROR;
    sq_setreleasehook(v, 1, release_hook);
    return 0;
}
SQInteger get_thunk(HSQUIRRELVM v) {
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 1, &p, &g_tag)) || !p)
        return sq_throwerror(v, "invalid 'this' in C++ method call");
    sq_pushinteger(v, *static_cast<int*>(p));
    return 1;
}

void register_box_class(HSQUIRRELVM v) {
    sq_pushroottable(v);
    sq_pushstring(v, "Box", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newclass(v, SQFalse)));
    HSQOBJECT cls;
    sq_getstackobj(v, -1, &cls);
    sq_addref(v, &cls);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_settypetag(v, -1, &g_tag)));
    sq_pushstring(v, "constructor", -1);
    sq_newclosure(v, ctor_thunk, 0);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "get", -1);
    sq_newclosure(v, get_thunk, 0);
    sq_newslot(v, -3, SQFalse);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
    sq_pop(v, 1);
    // the registry maps the type tag to the class
    sq_pushregistrytable(v);
    sq_pushuserpointer(v, &g_tag);
    sq_pushobject(v, cls);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
    sq_pop(v, 1);
    sq_release(v, &cls);
}

TEST(SquirrelApi, ClassesTypeTagsInstancesAndReleaseHooks) {
    g_released = 0;
    {
        TestVm t;
        HSQUIRRELVM v = t.v;
        register_box_class(v);
        EXPECT_TRUE(t.run("local b = Box(41); print(b.get() + 1)"));
        EXPECT_EQ(t.out, "42");
        EXPECT_EQ(g_released, 1); // the local died with the call frame
        // a plain table as this is rejected by the type-tag check
        t.out.clear();
        EXPECT_TRUE(t.run("try { Box.get.call({}) } catch (e) { print(e) }"));
        EXPECT_EQ(t.out, "invalid 'this' in C++ method call");
        // native code creates an instance from the registry
        sq_pushregistrytable(v);
        sq_pushuserpointer(v, &g_tag);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
        ASSERT_TRUE(SQ_SUCCEEDED(sq_createinstance(v, -1)));
        ASSERT_TRUE(SQ_SUCCEEDED(sq_setinstanceup(v, -1, new int(9))));
        sq_setreleasehook(v, -1, release_hook);
        SQUserPointer p = nullptr;
        ASSERT_TRUE(SQ_SUCCEEDED(sq_getinstanceup(v, -1, &p, &g_tag)));
        EXPECT_EQ(*static_cast<int*>(p), 9);
        int other;
        EXPECT_TRUE(SQ_FAILED(sq_getinstanceup(v, -1, &p, &other)));
        SQUserPointer tag = nullptr;
        ASSERT_TRUE(SQ_SUCCEEDED(sq_gettypetag(v, -2, &tag)));
        EXPECT_EQ(tag, &g_tag);
        sq_pop(v, 3);
        EXPECT_EQ(g_released, 2);
        // a cycle through an instance is freed by the collector
        EXPECT_TRUE(
            t.run("local b = Box(1); local t = { b = b }; t.self <- t; b = null; t = null"));
        EXPECT_EQ(g_released, 2);
        EXPECT_GT(sq_collectgarbage(v), 0);
        EXPECT_EQ(g_released, 3);
        // instances still alive at close are released too
        EXPECT_TRUE(t.run("keep <- Box(5); keep2 <- [Box(6)]; keep2.append(keep2)"));
    }
    EXPECT_EQ(g_released, 5);
}

int g_ud_released;
SQInteger ud_hook(SQUserPointer p, SQInteger size) {
    EXPECT_EQ(size, 4);
    EXPECT_EQ(*static_cast<int*>(p), 1234);
    ++g_ud_released;
    return 1;
}

TEST(SquirrelApi, UserDataAndWeakReferences) {
    g_ud_released = 0;
    TestVm t;
    HSQUIRRELVM v = t.v;
    void* data = sq_newuserdata(v, 4);
    ASSERT_NE(data, nullptr);
    *static_cast<int*>(data) = 1234;
    sq_setreleasehook(v, -1, ud_hook);
    sq_weakref(v, -1);
    EXPECT_EQ(sq_gettype(v, -1), OT_WEAKREF);
    HSQOBJECT weak;
    sq_getstackobj(v, -1, &weak);
    sq_addref(v, &weak);
    sq_pop(v, 1);
    sq_pushobject(v, weak);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getweakrefval(v, -1)));
    EXPECT_EQ(sq_gettype(v, -1), OT_USERDATA);
    sq_pop(v, 3); // value, weakref, userdata
    EXPECT_EQ(g_ud_released, 1);
    sq_pushobject(v, weak);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getweakrefval(v, -1)));
    EXPECT_EQ(sq_gettype(v, -1), OT_NULL);
    sq_pop(v, 2);
    sq_release(v, &weak);
    // a value type has no weak reference: the value itself is pushed
    sq_pushinteger(v, 3);
    sq_weakref(v, -1);
    EXPECT_EQ(sq_gettype(v, -1), OT_INTEGER);
    EXPECT_TRUE(SQ_FAILED(sq_getweakrefval(v, -1)));
    sq_pop(v, 2);
}

TEST(SquirrelApi, ConstTableFeedsLaterCompiles) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    sq_pushconsttable(v);
    sq_pushstring(v, "HMAP_SIZE", -1);
    sq_pushinteger(v, 256);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
    sq_pop(v, 1);
    EXPECT_TRUE(t.run("print(HMAP_SIZE * 2); print(\"HMAP_SIZE\" in getroottable())"));
    EXPECT_EQ(t.out, "512false");
}

TEST(SquirrelApi, AddRefKeepsObjectsAliveAcrossCollections) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    ASSERT_TRUE(t.run("function make() { local t = { v = 3 }; t.me <- t; return t }"));
    sq_pushroottable(v);
    sq_pushstring(v, "make", -1);
    sq_get(v, -2);
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)));
    HSQOBJECT obj;
    sq_getstackobj(v, -1, &obj);
    sq_addref(v, &obj);
    EXPECT_EQ(sq_getrefcount(v, &obj), 1u);
    sq_settop(v, 0);
    sq_collectgarbage(v);
    sq_pushobject(v, obj);
    sq_pushstring(v, "v", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    SQInteger i = 0;
    sq_getinteger(v, -1, &i);
    EXPECT_EQ(i, 3);
    sq_settop(v, 0);
    sq_release(v, &obj);
    sq_resetobject(&obj);
    EXPECT_EQ(obj._type, OT_NULL);
    EXPECT_EQ(sq_collectgarbage(v), 1);
}

TEST(SquirrelApi, NextIteratesTablesAndArrays) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    ASSERT_TRUE(t.run("data <- { a = 1, b = 2, c = 3 }"));
    sq_pushroottable(v);
    sq_pushstring(v, "data", -1);
    sq_get(v, -2);
    sq_pushnull(v);
    SQInteger sum = 0, n = 0;
    while (SQ_SUCCEEDED(sq_next(v, -2))) {
        SQInteger i;
        sq_getinteger(v, -1, &i);
        sum += i;
        ++n;
        sq_pop(v, 2);
    }
    EXPECT_EQ(sum, 6);
    EXPECT_EQ(n, 3);
    sq_settop(v, 0);
}

} // namespace
