// Transcendental functions built from plain IEEE operations only, so that worlds come out
// bit-identical on every x86-64 machine (libm picks FMA or non-FMA code paths at run time).
#pragma once

#include <emmintrin.h>

// floor and ceil as the world code defines them: nearest-rounding of v -/+ 0.49999988.
inline int hm_floor(float v) {
    return _mm_cvtss_si32(_mm_set_ss(v - 0.49999988f));
}
inline int hm_ceil(float v) {
    return _mm_cvtss_si32(_mm_set_ss(v + 0.49999988f));
}

// e^x for four lanes, x in about [-87, 88]; relative error below 2e-7.
__m128 det_exp4(__m128 x);
float det_exp(float x);

// cos and sin of 2 pi t.
void det_sincos_2pi(float t, float* c, float* s);
