#include "game/startup_phases.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(StartupPhases, RecordsPhasesInOrderUntilTheFirstFrame) {
    startup_phase("before begin"); // not recording yet
    startup_phases_begin();
    volatile double sink = 0;
    for (int i = 0; i < 2000000; ++i) sink = sink + i * 0.5; // some CPU time for "busy"
    startup_phase("busy");
    startup_phase("idle");
    startup_phases_end("first frame");
    startup_phase("after end");
    ASSERT_EQ(startup_phase_count(), 3);
    EXPECT_STREQ(startup_phase_at(0).name, "busy");
    EXPECT_STREQ(startup_phase_at(2).name, "first frame");
    EXPECT_GT(startup_phase_at(0).cpu_ms, 0.0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_GE(startup_phase_at(i).cpu_ms, 0.0);
        EXPECT_GE(startup_phase_at(i).wall_ms, 0.0);
    }
    char text[256];
    std::string s = format_startup_phases(text, sizeof(text));
    EXPECT_EQ(s.rfind("start-up: ", 0), 0u) << s;
    size_t busy = s.find("; busy "), idle = s.find(", idle "), first = s.find(", first frame ");
    EXPECT_NE(busy, std::string::npos) << s;
    EXPECT_LT(busy, idle);
    EXPECT_LT(idle, first);
    EXPECT_EQ(s.find("after end"), std::string::npos);
}

TEST(StartupPhases, FullTableAndShortBuffersAreSafe) {
    startup_phases_begin();
    for (int i = 0; i < MAX_STARTUP_PHASES + 10; ++i) startup_phase("step");
    EXPECT_EQ(startup_phase_count(), MAX_STARTUP_PHASES);
    char small[16];
    memset(small, 'x', sizeof(small));
    format_startup_phases(small, sizeof(small));
    EXPECT_EQ(strlen(small), sizeof(small) - 1);
    char none[1] = {'x'};
    format_startup_phases(none, 0); // no room: left alone
    EXPECT_EQ(none[0], 'x');
    startup_phases_end("done");
}
