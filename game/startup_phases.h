// Where start-up time goes: named phases, each with the process CPU time and the wall time
// since the previous mark, printed by --stats.
#pragma once

#include <cstddef>

struct StartupPhase {
    const char* name; // a string literal
    double cpu_ms, wall_ms;
};

constexpr int MAX_STARTUP_PHASES = 24;

// Starts the clocks (the first phase runs from here).
void startup_phases_begin();
// Ends the running phase under `name` and starts the next; ignored before begin, after the
// table is full, and after startup_phases_end.
void startup_phase(const char* name);
// Ends the last phase under `name` and stops recording (the first frame is shown).
void startup_phases_end(const char* name);

int startup_phase_count();
const StartupPhase& startup_phase_at(int i);

// "start-up: 1234.5 ms CPU, 2345.6 ms wall; window 1.0/2.0, device ..." (CPU/wall ms per
// phase, in order) into out; returns out.
char* format_startup_phases(char* out, size_t size);
