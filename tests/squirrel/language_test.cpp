// Language behaviour modders rely on from the manual: each case prints what the script saw and
// the whole output is compared.
#include "sq_test_util.h"

#include <gtest/gtest.h>

namespace {

std::string output_of(const char* src) {
    TestVm t;
    EXPECT_TRUE(t.run(src)) << t.lastError() << t.compileErrors;
    return t.out;
}

TEST(SquirrelLanguage, TailCallsReplaceTheCallerForStackInspection) {
    EXPECT_EQ(output_of(R"(
        function who(n) { return getstackinfos(n).func }
        function outer() { local inner = function() { return who(2) }; return inner() }
        function caller() { return outer() }
        function top() { local r = caller(); return r }
        print(top() + "\n")
        // inside try the caller stays on the stack
        function guarded() { try { return who(3) } catch (e) {} }
        function g2() { try { return guarded() } catch (e) {} }
        print(g2() + "\n")
        // natives and constructors are called, not tail-called
        function viaNative() { return getstackinfos(1).func }
        print(viaNative() + "\n")
        class C { constructor() { ::seen <- getstackinfos(2).func } }
        function makeC() { return C() }
        makeC()
        print(::seen + "\n")
    )"),
              "top\ng2\nviaNative\nmakeC\n");
}

TEST(SquirrelLanguage, FieldsOfThisFallBackToTheRootTable) {
    EXPECT_EQ(output_of(R"(
        ::who <- "root"
        ::hello <- @() "hi"
        local function whoami() { return this.who }
        local function greet() { return this.hello() }
        local function byKey() { return this["who"] }
        print(whoami.call(null) + " " + [whoami][0]() + " " + whoami.call({}) + "\n")
        print(greet.call(5) + " " + byKey.call([]) + " " + whoami.call({ who = "t" }) + "\n")
        // a bound environment that died leaves a null this
        local b = whoami.bindenv({ who = "temp" })
        collectgarbage()
        print(b() + "\n")
        // only reads fall back: a write still needs the slot, and other objects do not fall back
        try { (function() { this.who = 1 }).call({}) } catch (e) { print(e + "\n") }
        try { ({}).who } catch (e) { print(e + "\n") }
    )"),
              "root root root\nhi root t\nroot\nthe index 'who' does not exist\n"
              "the index 'who' does not exist\n");
}

TEST(SquirrelLanguage, SuspendedGeneratorsHoldThisWeakly) {
    EXPECT_EQ(output_of(R"(
        class C { n = 3; function count() { for (local i = 0; i < n; i++) yield i } }
        local r = []
        try { foreach (v in C().count()) r.append(v) } catch (e) { r.append(e) }
        local held = C(), s = []
        foreach (v in held.count()) s.append(v)
        print(r.len() + " " + r[1] + " " + s.len() + "\n")
    )"),
              "2 the index 'n' does not exist 3\n");
}

TEST(SquirrelLanguage, ClassAttributesAndNewMember) {
    EXPECT_EQ(output_of(R"(
        local k = 40
        class A </ level = "class" /> {
            </ doc = "field", v = k + 2 /> f = 1
            </ doc = "method" /> function m() {}
            plain = 2
        }
        print(A.getattributes(null).level + " " + A.getattributes("f").v + " " +
              A.getattributes("m").doc + " " + A.getattributes("plain") + "\n")
        try { A.getattributes("zzz") } catch (e) { print(e + "\n") }
        local old = A.setattributes("f", { doc = "new" })
        print(old.doc + " " + A.getattributes("f").doc + "\n")
        class D extends A {}
        print(D.getattributes("m").doc + " " + D.getattributes(null) + "\n")
        // _newmember takes over the declarations of derived classes; rawnewmember adds
        local seen = []
        class M { function _newmember(k, v, a, s) { seen.append(k); if (k != "skip") rawnewmember(k, v, a, s) } }
        class U extends M { x = 1; </ t = 1 /> static skip = 2 }
        print(seen.len() + " " + ("x" in U) + " " + ("skip" in U) + " " + U.getattributes("x") + "\n")
        U.newmember("y", 3)
        U.rawnewmember("z", 4)
        print(seen.len() + " " + U.y + " " + U.z + "\n")
    )"),
              "class 42 method null\nwrong index\nfield new\nmethod null\n2 true false null\n"
              "3 3 4\n");
}

TEST(SquirrelLanguage, MetamethodsAreNotClassMembers) {
    EXPECT_EQ(output_of(R"(
        class B { function _add(o) { return "B" } function _tostring() { return "b" } }
        class D extends B { function _add(o) { try { return base._add(o) } catch (e) { return e } } }
        print((D() + 1) + " " + D() + " " + ("_add" in B) + "\n")
        local X = class {}
        X._typeof <- @() "late"
        print(typeof X() + "\n")
    )"),
              "the index '_add' does not exist b false\nlate\n");
}

TEST(SquirrelLanguage, StackInfosOfASuspendedThread) {
    EXPECT_EQ(output_of(R"(
        local function worker() { local here = 5; suspend(1) }
        local t = newthread(worker)
        print(t.getstackinfos(0) + "\n")
        t.call()
        local si = t.getstackinfos(0)
        print(si.func + " " + si.locals.here + " " + t.getstackinfos(1) + " " + t.getstackinfos(-1) + "\n")
    )"),
              "null\nworker 5 null null\n");
}

TEST(SquirrelLanguage, RegexpMatchesWithoutBacktracking) {
    EXPECT_EQ(output_of(R"nut(
        local function S(p, s, from = 0) {
            local r = regexp(p).search(s, from)
            return r ? r.begin + ".." + r.end : "null"
        }
        local function E(p) { try { regexp(p); return "ok" } catch (e) { return e } }
        // a repetition stops where what follows matches; alternations commit to a branch
        print(S("<.+>", "<a><b>") + " " + regexp("(a|ab)c").match("abc") + " " + S("^b", "ab", 1) + "\n")
        print(S("\\m()", "x(a(b)c)y") + " " + S("x*", "ab", 2) + " " + S("\\Bcat", "cat concat") + "\n")
        print(regexp("(a?){3}b").match("ab") + " " + regexp("(a?){2,}").match("") + "\n")
        local c = regexp("(x)*y").capture("xxy")
        print(c[1].begin + ".." + c[1].end + "\n")
        print(E("[]") + ", " + E("[a-]") + ", " + E("a{1") + ", " + E("a)") + ", " + E("a\tb") + ", " + E("\\m((") + "\n")
    )nut"),
              "0..3 false 1..2\n1..8 null 7..10\ntrue false\n0..1\n"
              "empty class, invalid range, , or } expected, unexpected character, letter expected, "
              "open/close char can't be the same\n");
}

TEST(SquirrelLanguage, ThreadsSuspendInsideGenerators) {
    EXPECT_EQ(output_of(R"(
        // two generators deep: the wakeup value comes back out through both
        local t = newthread(function() {
            local inner = (function() { yield suspend("in") })()
            local outer = (function() { yield "<" + resume inner + ">" })()
            return resume outer
        })
        print(t.call() + " " + t.getstatus() + " " + t.wakeup("w") + " " + t.getstatus() + "\n")
        // an error sent with the wakeup is raised inside the generator
        local u = newthread(function() {
            local g = (function() { try { suspend(1) } catch (e) { yield "caught " + e } })()
            return resume g
        })
        u.call()
        print(u.wakeupthrow("x") + "\n")
        // a native in between still refuses
        local n = newthread(function() { return [1].map(@(x) suspend(x)) })
        try { n.call() } catch (e) { print(e + "\n") }
        // a generator left inside a dropped thread's suspend stays active
        ::held <- (function() { yield suspend(0) })()
        local d = newthread(function() { return resume ::held })
        d.call()
        d = null
        collectgarbage()
        local d2 = newthread(function() { return resume ::held })
        try { d2.call() } catch (e) { print(e + "\n") }
    )"),
              "in suspended <w> idle\ncaught x\ncannot suspend through native calls/metamethods\n"
              "resuming active generator\n");
}

TEST(SquirrelLanguage, DelegateMetamethodsComeFromTheDirectDelegate) {
    EXPECT_EQ(output_of(R"(
        local top = { _add = @(o) "added", _get = @(k) "got " + k, _set = function(k, v) { ::setk <- k },
                      _tostring = @() "ts", _call = @(t, a) "called" }
        local direct = {}.setdelegate(top), deep = {}.setdelegate({}.setdelegate(top))
        print((direct + 1) + " " + direct + " " + direct(1) + "\n")
        try { deep + 1 } catch (e) { print(e + "\n") }
        try { deep(1) } catch (e) { print(e + "\n") }
        // a missing key is still looked for up the whole chain, _get and _set included
        deep.q = 1
        print(deep.x + " " + ::setk + " " + (deep.tostring().find("ts") == null) + "\n")
    )"),
              "added ts called\narith op + on between 'table' and 'integer'\n"
              "attempt to call 'table'\ngot x q true\n");
}

TEST(SquirrelLanguage, AttributesThroughTheApi) {
    TestVm t;
    HSQUIRRELVM v = t.v;
    ASSERT_TRUE(t.run("class K </ tag = 1 /> { </ doc = \"d\" /> m = 0; plain = 1 }\n::K <- K"));
    sq_pushroottable(v);
    sq_pushstring(v, "K", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_pushstring(v, "m", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getattributes(v, -2)));
    EXPECT_EQ(sq_gettype(v, -1), OT_TABLE);
    sq_pop(v, 1);
    sq_pushnull(v);
    sq_pushinteger(v, 7);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_setattributes(v, -3))); // class level: returns the old table
    EXPECT_EQ(sq_gettype(v, -1), OT_TABLE);
    sq_pop(v, 1);
    sq_pushstring(v, "nope", -1);
    EXPECT_TRUE(SQ_FAILED(sq_getattributes(v, -2)));
    sq_pop(v, 2);
    EXPECT_EQ(sq_gettop(v), 0);
    ASSERT_TRUE(t.run("print(K.getattributes(null) + \" \" + K.getattributes(\"plain\"))"));
    EXPECT_EQ(t.out, "7 null");
}

} // namespace
