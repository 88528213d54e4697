#include "platform/paths.h"
#include "script/reloadable_vm.h"
#include "script/sqbind.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace sqbind;

namespace {
// Scripts in a temporary game folder; every file run appends its name to ::runs.
class ReloadableVMTest : public ::testing::Test {
  protected:
    fs::path dir;
    SqReloadableVM rvm;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("veltmoor-rvm-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "gen");
        snprintf(app_path, sizeof(app_path), "%s/", dir.c_str());
        ASSERT_TRUE(rvm.init(1024));
        ASSERT_TRUE(run_text("runs <- [];"));
    }
    void TearDown() override {
        rvm.close();
        fs::remove_all(dir);
    }

    void write(const char* name, const std::string& text, int age_seconds = 100) {
        fs::path p = dir / name;
        std::ofstream(p) << text;
        // Distinct, known modification times: a rewrite is always seen as a change.
        static int64_t stamp = 1700000000;
        stamp += age_seconds;
        struct timespec ts[2] = {{stamp, 0}, {stamp, 0}};
        utimensat(AT_FDCWD, p.c_str(), ts, 0);
    }
    bool run_text(const std::string& code) {
        SQInteger top = sq_gettop(rvm.vm);
        bool ok = SQ_SUCCEEDED(
            sq_compilebuffer(rvm.vm, code.c_str(), SQInteger(code.size()), "t", SQTrue));
        if (ok) {
            sq_pushroottable(rvm.vm);
            ok = SQ_SUCCEEDED(sq_call(rvm.vm, 1, SQFalse, SQTrue));
        }
        sq_settop(rvm.vm, top);
        return ok;
    }
    std::string runs() {
        std::string code = "return runs.reduce(@(a, b) a + \",\" + b);";
        SQInteger top = sq_gettop(rvm.vm);
        std::string r;
        if (SQ_SUCCEEDED(
                sq_compilebuffer(rvm.vm, code.c_str(), SQInteger(code.size()), "r", SQTrue))) {
            sq_pushroottable(rvm.vm);
            const SQChar* s = nullptr;
            if (SQ_SUCCEEDED(sq_call(rvm.vm, 1, SQTrue, SQTrue)) &&
                SQ_SUCCEEDED(sq_getstring(rvm.vm, -1, &s)))
                r = s;
        }
        sq_settop(rvm.vm, top);
        return r;
    }
};
} // namespace

TEST_F(ReloadableVMTest, EachFileRunsOncePerPassWhateverItsSpelling) {
    write("gen/main.nut", "runs.append(\"main\"); include(\"gen/util.nut\"); "
                          "include(\"GEN/UTIL.NUT\"); include(\"" +
                              dir.string() + "/gen/util.nut\"); include(\"gen/../gen/util.nut\");");
    write("gen/util.nut", "runs.append(\"util\");");
    EXPECT_TRUE(rvm.include("gen/main.nut"));
    EXPECT_TRUE(rvm.include("gen/main.nut"));
    EXPECT_EQ(runs(), "main,util");
    EXPECT_EQ(rvm.files.num, 2);
    EXPECT_FALSE(rvm.changed());
}

TEST_F(ReloadableVMTest, TouchingAnIncludedFileReRunsEverythingInLoadOrder) {
    write("gen/main.nut", "runs.append(\"main\"); include(\"gen/a.nut\"); include(\"gen/b.nut\");");
    write("gen/a.nut", "runs.append(\"a\");");
    write("gen/b.nut", "runs.append(\"b\");");
    ASSERT_TRUE(rvm.include("gen/main.nut"));
    EXPECT_FALSE(rvm.changed());
    write("gen/b.nut", "runs.append(\"b2\");");
    EXPECT_TRUE(rvm.changed());
    EXPECT_TRUE(rvm.reload(true));
    EXPECT_EQ(runs(), "main,a,b,main,a,b2");
    EXPECT_FALSE(rvm.changed());
    EXPECT_TRUE(rvm.reload(false)); // nothing changed: nothing runs
    EXPECT_EQ(runs(), "main,a,b,main,a,b2");
    fs::remove(dir / "gen/a.nut"); // a deleted file counts as changed and fails the pass
    EXPECT_TRUE(rvm.changed());
}

TEST_F(ReloadableVMTest, ASyntaxErrorKeepsEarlierDefinitionsUntilFixed) {
    write("gen/main.nut", "function value() { return 1; } include(\"gen/more.nut\");");
    write("gen/more.nut", "function more() { return 10; }");
    ASSERT_TRUE(rvm.include("gen/main.nut"));
    testing::internal::CaptureStdout();
    write("gen/main.nut", "function value() { return 2; ");
    EXPECT_FALSE(rvm.reload(true));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("bin/" + dir.string() + "/gen/main.nut("), std::string::npos) << out;
    SquirrelError err(rvm.vm);
    EXPECT_STRNE(err.desc, "unknown error");
    // The old definitions still answer; the failure is not retried until a file changes.
    EXPECT_TRUE(run_text("if (value() != 1 || more() != 10) throw \"lost\";"));
    EXPECT_FALSE(rvm.changed());
    write("gen/main.nut", "function value() { return 3; } include(\"gen/more.nut\");");
    EXPECT_TRUE(rvm.changed());
    EXPECT_TRUE(rvm.reload(true));
    EXPECT_TRUE(run_text("if (value() != 3) throw \"old\";"));
}

TEST_F(ReloadableVMTest, MissingFilesAndOverlongPathsAreScriptErrors) {
    EXPECT_FALSE(rvm.include("gen/none.nut"));
    // A folder opens like a file but is none: refused as if missing, not read as 8 EiB.
    EXPECT_FALSE(rvm.include("gen"));
    EXPECT_FALSE(sqbind::compile_file(rvm.vm, dir.c_str()));
    std::string longname(300, 'x');
    write("gen/main.nut", "include(\"" + longname + ".nut\");");
    testing::internal::CaptureStdout();
    try {
        rvm.include("gen/main.nut");
        ADD_FAILURE() << "no error";
    } catch (const SquirrelError& e) {
        EXPECT_STREQ(e.desc, "include: path too long");
    }
    testing::internal::GetCapturedStdout();
    EXPECT_THROW(rvm.include(longname.c_str()), SquirrelError);
    EXPECT_TRUE(run_text("runs.append(\"still alive\");"));
}

TEST_F(ReloadableVMTest, IncludeNeedsAString) {
    try {
        run_text("include(5);");
        ADD_FAILURE();
    } catch (const SquirrelError& e) {
        EXPECT_STREQ(e.desc, "sq_get*() failed (type error)");
    }
}

TEST_F(ReloadableVMTest, ReinitKeepsTheFileListAndRegistersIncludeAgain) {
    write("gen/main.nut", "runs.append(\"main\");");
    ASSERT_TRUE(rvm.include("gen/main.nut"));
    ASSERT_TRUE(rvm.init(1024));
    EXPECT_EQ(rvm.files.num, 1);
    ASSERT_TRUE(run_text("runs <- []; include(\"gen/main.nut\");"));
    EXPECT_EQ(runs(), ""); // already listed: include does not run it again
    EXPECT_TRUE(rvm.reload(true));
    EXPECT_EQ(runs(), "main");
}
