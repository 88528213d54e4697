#include "platform/timer.h"

#include <ctime>

namespace {
constexpr int64_t CLOCK_HZ = 10'000'000;
int64_t frequency = 1;
double inv_frequency = 1.0;
} // namespace

void init_timer() {
    frequency = CLOCK_HZ;
    inv_frequency = 1.0 / double(frequency);
}

int64_t get_ref_time() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * CLOCK_HZ + ts.tv_nsec / 100;
}

int64_t get_timer_frequency() {
    return frequency;
}
int get_time_msec(int64_t ticks) {
    return int(ticks * 1000 / frequency);
}
int get_time_usec(int64_t ticks) {
    return int(ticks * 1000000 / frequency);
}
float get_time_sec(int64_t ticks) {
    return float(double(ticks) * inv_frequency);
}
int64_t msec_to_ticks(int msec) {
    return int64_t(msec) * frequency / 1000;
}
