#include "game/main_loop.h"
#include "platform/timer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {
constexpr int64_t MS = 10000; // ticks per millisecond at 10 MHz

// A scripted world: every call costs time on a fake clock.
class FakeHost : public MainLoopHost {
  public:
    int64_t clock = 1000 * MS;
    int64_t update_cost = 1 * MS;
    int64_t frame_cost = 10 * MS;
    int64_t stall_at_update = -1; // update index that stalls
    int64_t stall = 0;
    int quit_at_pump = -1;
    int quit_after_frames = -1;
    int pumps = 0, updates = 0, renders = 0, presents = 0, resets = 0;
    std::vector<std::string> log;
    std::vector<int64_t> update_times;

    int64_t now() override { return clock; }
    void pumpMessages() override {
        if (pumps++ == quit_at_pump) request_quit();
    }
    void update(float dt) override {
        EXPECT_FLOAT_EQ(dt, 0.05f);
        update_times.push_back(clock);
        clock += update_cost;
        if (updates == stall_at_update) clock += stall;
        ++updates;
        log.push_back("U");
    }
    void resetInput() override { ++resets; }
    bool renderFrame(float ahead) override {
        EXPECT_GE(ahead, 0.0f);
        clock += frame_cost;
        ++renders;
        log.push_back("R");
        return true;
    }
    void present() override {
        ++presents;
        if (quit_after_frames >= 0 && presents >= quit_after_frames) request_quit();
    }
    bool checkDevice() override { return true; }
    void sleepMsec(int) override {}
    int gpuLoad() override { return -1; }
    void oncePerSecond() override {}
};

class MainLoopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        init_timer();
        set_update_rate(20, 5);
        // The quit flag is process state; start every case from a clean loop.
        quit_flag_reset();
    }
    static void quit_flag_reset();
};
} // namespace

void MainLoopTest::quit_flag_reset() {
    reset_main_loop_for_tests();
}

TEST_F(MainLoopTest, SimulationRunsAtTwentyStepsPerSecondWhateverTheFrameRate) {
    FakeHost host;
    host.quit_after_frames = 300; // 300 frames of 10 ms: about 3 s
    int64_t start = host.clock;
    run_main_loop(host);
    double secs = double(host.clock - start) / (1000.0 * MS);
    EXPECT_NEAR(host.updates, secs * 20, 2.0);
    EXPECT_GE(host.renders, 250);
    // An update may be taken early for the coming frame, never by more than a frame.
    for (size_t i = 0; i < host.update_times.size(); ++i)
        EXPECT_LE(start + int64_t(i) * 500000 - host.frame_cost - host.update_cost,
                  host.update_times[i]);
}

TEST_F(MainLoopTest, QuitInFirstPumpFinishesTheUpdateWithoutAFrame) {
    FakeHost host;
    host.quit_at_pump = 0;
    run_main_loop(host);
    EXPECT_EQ(host.updates, 1);
    EXPECT_EQ(host.renders, 0);
    EXPECT_EQ(host.presents, 0);
    EXPECT_GE(host.resets, 2); // after the update and on leaving
}

TEST_F(MainLoopTest, LongStallRendersOneFrameAndRebasesInsteadOfBursting) {
    FakeHost host;
    host.stall_at_update = 10;
    host.stall = 2000 * MS; // 40 steps
    host.quit_after_frames = 120;
    run_main_loop(host);
    // Count the longest run of updates without a frame between them.
    int u = 0, run = 0, max_run = 0;
    for (const std::string& e : host.log) {
        if (e == "U") {
            ++u;
            max_run = std::max(max_run, ++run);
        } else {
            run = 0;
        }
    }
    EXPECT_LE(max_run, 7);
    // After the stall the simulation fell behind real time by about the stall,
    // instead of catching up the 40 missed steps.
    int64_t elapsed = host.clock - host.update_times.front();
    int64_t simulated = int64_t(host.updates) * 500000;
    EXPECT_GT(elapsed - simulated, 1500 * MS);
    EXPECT_GT(u, 0);
}

TEST_F(MainLoopTest, UpdateRateLimits) {
    set_update_rate(0, -3);
    EXPECT_EQ(get_update_step(), 10000000); // one update per second
    EXPECT_EQ(get_max_catch_up(), 0);
    set_update_rate(20000000, 5);
    EXPECT_EQ(get_update_step(), 1);
    set_update_rate(20, 5);
    EXPECT_EQ(get_update_step_usec(), 50000);
}

TEST_F(MainLoopTest, SlowUpdatesAndFramesStillGiveTwentyStepsPerSecond) {
    // Frames that take longer than a step (a slow machine) must not run the game fast.
    for (int64_t cost : {5, 20, 40, 70, 120}) {
        reset_main_loop_for_tests();
        FakeHost host;
        host.update_cost = 20 * MS;
        host.frame_cost = cost * MS;
        host.quit_after_frames = 100;
        int64_t start = host.clock;
        run_main_loop(host);
        double secs = double(host.clock - start) / (1000.0 * MS);
        EXPECT_NEAR(host.updates, secs * 20, 2.0) << "frame cost " << cost << " ms";
    }
}
