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

} // namespace
