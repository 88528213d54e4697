#include "platform/app_icon.h"
#include "platform/dyn_array.h"
#include "platform/log.h"
#include "platform/timer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

TEST(Timer, ConversionsTruncateTowardsZero) {
    init_timer();
    EXPECT_EQ(get_timer_frequency(), 10000000);
    EXPECT_EQ(get_time_msec(15000), 1);
    EXPECT_EQ(get_time_msec(-15000), -1);
    EXPECT_EQ(get_time_usec(-25), -2);
    EXPECT_EQ(get_time_usec(int64_t(20) * 10000000), 20000000);
    EXPECT_FLOAT_EQ(get_time_sec(500000), 0.05f);
    EXPECT_EQ(msec_to_ticks(3), 30000);
    int64_t a = get_ref_time(), b = get_ref_time();
    EXPECT_LE(a, b);
}

namespace {
bool shutdown_ran = false;
void fake_shutdown() {
    shutdown_ran = true;
    debug("shutdown ran");
}

// Runs f in a child with stdout/stderr captured; returns its exit code.
template <typename F>
int run_child(F f, std::string& out) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[0]);
        f();
        _exit(0);
    }
    close(fds[1]);
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof(buf))) > 0) out.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
} // namespace

TEST(Fatal, ExitsWith100AfterTheShutdown) {
    std::string out;
    int code = run_child(
        [] {
            set_fatal_context("Veltmoor 0.10 DEMO", fake_shutdown);
            fatal("can't create scene image texture");
        },
        out);
    EXPECT_EQ(code, 100);
    EXPECT_NE(out.find("\n\ncan't create scene image texture\n"), std::string::npos);
    EXPECT_NE(out.find("ERROR: can't create scene image texture"), std::string::npos);
    EXPECT_NE(out.find("shutdown ran"), std::string::npos);
}

TEST(Fatal, OnlyFatalBoxesSayFatal) {
    set_fatal_context("Veltmoor Launcher", nullptr);
    char title[64];
    error_box_title(true, title, sizeof(title));
    EXPECT_STREQ(title, "Veltmoor Launcher - FATAL ERROR");
    error_box_title(false, title, sizeof(title));
    EXPECT_STREQ(title, "Veltmoor Launcher - Error");
    testing::internal::CaptureStdout();
    report_error("Could not start the game.");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: Could not start the game.\n");
}

TEST(Fatal, FatalInsideShutdownDoesNotLoop) {
    std::string out;
    int code = run_child(
        [] {
            set_fatal_context("T", [] { fatal("second"); });
            fatal("first");
        },
        out);
    EXPECT_EQ(code, 100);
    EXPECT_NE(out.find("second"), std::string::npos);
}

namespace {
void failing_assert() {
    int start = 0;
    ASSERT(start == 1);
}
constexpr int FAILING_ASSERT_LINE = __LINE__ - 2;
} // namespace

TEST(Fatal, AssertReportsFileStemLineAndExpression) {
    std::string out;
    int code = run_child(
        [] {
            set_fatal_context("T", nullptr);
            failing_assert();
        },
        out);
    EXPECT_EQ(code, 100);
    char expect[128];
    snprintf(expect, sizeof(expect), "timer_log_test(%d): failed ASSERT(start == 1)",
             FAILING_ASSERT_LINE);
    EXPECT_NE(out.find(expect), std::string::npos) << out;
}

TEST(DynArray, InsertEraseAndRangeReports) {
    DynArray<int> a;
    for (int i = 0; i < 20; ++i) a.push_back(i);
    a.insert(0, -1);
    a.erase(5, 3);
    EXPECT_EQ(a.num, 18);
    EXPECT_EQ(a[0], -1);
    EXPECT_EQ(a[5], 7);
    EXPECT_EQ(a.find(19), 17);
    std::string out;
    EXPECT_EQ(run_child(
                  [] {
                      DynArray<int> b;
                      b.insert(2, 1);
                  },
                  out),
              100);
    EXPECT_NE(out.find("failed ASSERT(at>=0 && at<=num)"), std::string::npos) << out;
    out.clear();
    EXPECT_EQ(run_child(
                  [] {
                      DynArray<int> b;
                      b.push_back(1);
                      b.erase(0, 2);
                  },
                  out),
              100);
    EXPECT_NE(out.find("failed ASSERT(at+n<=num)"), std::string::npos) << out;
}

TEST(AppIcon, RoundedSquareWithSkyOverWater) {
    const int n = 64;
    std::vector<uint32_t> a(n * n), b(n * n);
    draw_app_icon(a.data(), n);
    draw_app_icon(b.data(), n);
    EXPECT_EQ(a, b); // the build's icons are reproducible
    auto alpha = [&](int x, int y) { return a[size_t(y * n + x)] >> 24; };
    auto channel = [&](int x, int y, int shift) { return (a[size_t(y * n + x)] >> shift) & 255; };
    EXPECT_EQ(alpha(0, 0), 0u);         // outside the rounded corner
    EXPECT_EQ(alpha(n - 1, n - 1), 0u); // likewise
    EXPECT_EQ(alpha(n / 2, n / 2), 255u);
    EXPECT_EQ(alpha(n / 2, 4), 255u);                               // the top edge is inside
    EXPECT_GT(channel(n / 2, 6, 0), channel(n / 2, 6, 16));         // blue sky at the top
    EXPECT_GT(channel(44, 27, 16) + channel(44, 27, 8), 400u);      // the sun is bright
    EXPECT_GT(channel(n / 2, n - 8, 0), channel(n / 2, n - 8, 16)); // blue water at the bottom
}
