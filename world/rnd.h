// The one random-number state shared by every script VM and the native world generators.
#pragma once

#include "platform/game_export.h"

#include <cstdint>

GAME_EXPORT extern uint64_t game_rnd_seed;

// Advances `state` one 64-bit LCG step; returns the high 32 bits of the new state.
inline uint32_t rnd_step(uint64_t& state) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t(state >> 32);
}

// Next random number of `state` in [0, 1): the step's output times 2^-32.
inline float rnd_float(uint64_t& state) {
    float u = float(rnd_step(state)) * (1.0f / 4294967296.0f);
    // Outputs above 2^32 - 128 round up to 2^32 in single precision; keep the range half-open.
    return u < 1.0f ? u : 0x1.fffffep-1f;
}

// The same on the shared state.
inline uint32_t rnd_step() {
    return rnd_step(game_rnd_seed);
}
inline float rnd_float() {
    return rnd_float(game_rnd_seed);
}
