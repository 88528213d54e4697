// Curves of 257 samples, entry i at t = i / 256, shared by generators, scripts and particles.
#pragma once

#include "core/vec4f.h"

#include <cstdint>

struct ColorRamp {
    vec4f e[257];

    vec4f get(float t) const { return to_vec4f(sample(t)); }
    __m128 sample(float t) const; // entry 0 for t <= 0 or NaN, entry 256 for t >= 1
    uint32_t getColor(float t) const { return pack_color(sample(t)); }
};

struct FloatRamp {
    float e[257];

    float get(float t) const;
};

// Entry index for t, with the fraction towards the next entry; -1 and -2 stand for the
// clamped ends (entry 0, entry 256). A NaN t reads entry 0 rather than a garbage index.
inline int ramp_index(float t, float* frac) {
    float x = t * 256.0f;
    if (!(x > 0.0f)) return -1;
    if (x >= 256.0f) return -2;
    int i = int(x);
    *frac = x - float(i);
    return i;
}

inline __m128 ColorRamp::sample(float t) const {
    float f = 0.0f;
    int i = ramp_index(t, &f);
    if (i < 0) return e[i == -1 ? 0 : 256].load();
    __m128 a = e[i].load();
    __m128 b = e[i + 1].load();
    return _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), _mm_set1_ps(f)));
}

inline float FloatRamp::get(float t) const {
    float f = 0.0f;
    int i = ramp_index(t, &f);
    if (i < 0) return e[i == -1 ? 0 : 256];
    return e[i] + (e[i + 1] - e[i]) * f;
}
