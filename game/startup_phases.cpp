#include "game/startup_phases.h"

#include <cstdio>
#include <ctime>

namespace {

StartupPhase phases[MAX_STARTUP_PHASES];
int phase_count = 0;
bool recording = false;
double last_cpu = 0, last_wall = 0;

double clock_ms(clockid_t id) {
    timespec t;
    clock_gettime(id, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

} // namespace

void startup_phases_begin() {
    phase_count = 0;
    recording = true;
    last_cpu = clock_ms(CLOCK_PROCESS_CPUTIME_ID);
    last_wall = clock_ms(CLOCK_MONOTONIC);
}

void startup_phase(const char* name) {
    if (!recording || phase_count == MAX_STARTUP_PHASES) return;
    double cpu = clock_ms(CLOCK_PROCESS_CPUTIME_ID), wall = clock_ms(CLOCK_MONOTONIC);
    phases[phase_count++] = {name, cpu - last_cpu, wall - last_wall};
    last_cpu = cpu, last_wall = wall;
}

void startup_phases_end(const char* name) {
    startup_phase(name);
    recording = false;
}

int startup_phase_count() {
    return phase_count;
}

const StartupPhase& startup_phase_at(int i) {
    return phases[i];
}

char* format_startup_phases(char* out, size_t size) {
    if (!size) return out;
    double cpu = 0, wall = 0;
    for (int i = 0; i < phase_count; ++i) cpu += phases[i].cpu_ms, wall += phases[i].wall_ms;
    size_t n =
        size_t(snprintf(out, size, "start-up: %.1f ms CPU, %.1f ms wall (CPU/wall ms)", cpu, wall));
    for (int i = 0; i < phase_count && n < size; ++i)
        n += size_t(snprintf(out + n, size - n, "%s %s %.1f/%.1f", i ? "," : ";", phases[i].name,
                             phases[i].cpu_ms, phases[i].wall_ms));
    return out;
}
