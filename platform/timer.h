// The high-resolution clock: signed 64-bit ticks at 10 MHz.
#pragma once

#include <cstdint>

void init_timer();                 // once at start, before any conversion
int64_t get_ref_time();            // the current clock value
int64_t get_timer_frequency();     // ticks per second (1 before init_timer)
int get_time_msec(int64_t ticks);  // truncating towards zero
int get_time_usec(int64_t ticks);  // truncating towards zero
float get_time_sec(int64_t ticks); // ticks x stored inverse frequency
int64_t msec_to_ticks(int msec);
