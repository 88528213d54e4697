// The one random-number state shared by every script VM and the native world generators.
#pragma once

#include "platform/game_export.h"

#include <cstdint>

GAME_EXPORT extern uint64_t game_rnd_seed;

// Advances game_rnd_seed one 64-bit LCG step; returns the high 32 bits of the new state.
inline uint32_t rnd_step() {
    game_rnd_seed = game_rnd_seed * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t(game_rnd_seed >> 32);
}

// Next random number in [0, 1): the step's output times 2^-32.
inline float rnd_float() {
    float u = float(rnd_step()) * (1.0f / 4294967296.0f);
    // Outputs above 2^32 - 128 round up to 2^32 in single precision; keep the range half-open.
    return u < 1.0f ? u : 0x1.fffffep-1f;
}
