// Work behind the splash: it runs on another thread, and its splash updates are drawn by the
// main thread, which is the only one allowed to draw.
#include "game/splash_worker.h"
#include "render/overlay/text_overlay.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {
std::thread::id work_thread;
bool taken = false;
bool on_worker = false;

void post_and_wait_until_drawn() {
    work_thread = std::this_thread::get_id();
    on_worker = on_splash_worker_thread();
    show_splash_any_thread("Calculating erosion", 0.5f);
    // The main thread draws what was posted; waiting for it keeps the test deterministic.
    for (int i = 0; i < 10000 && splash_worker_redraws() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    taken = splash_worker_redraws() > 0;
    show_splash_any_thread("Generating new world...", -1.0f); // last word, maybe not drawn
}
} // namespace

TEST(SplashWorker, WorkRunsOffTheMainThreadWhileTheMainThreadDrawsItsSplash) {
    show_splash_any_thread("Loading...", -1.0f); // no work running: drawn at once
    EXPECT_STREQ(get_splash_text(), "Loading...");
    run_behind_splash(post_and_wait_until_drawn);
    EXPECT_NE(work_thread, std::this_thread::get_id());
    EXPECT_TRUE(on_worker);
    EXPECT_FALSE(on_splash_worker_thread());
    EXPECT_TRUE(taken) << "the main thread never drew the worker's splash";
    EXPECT_GE(splash_worker_redraws(), 1);
    // Once the work is done the main thread draws directly again.
    show_splash_any_thread("Done", -1.0f);
    EXPECT_STREQ(get_splash_text(), "Done");
}
