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

} // namespace
