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

// A vector constant read from memory: GCC turns equal-lane literals into a scalar load
// plus a shuffle, one instruction more on every use in hot loops.
#define DET_SPLAT(v)                                                                               \
    ([] {                                                                                          \
        alignas(16) static const float k_[4] = {v, v, v, v};                                       \
        return _mm_load_ps(k_);                                                                    \
    }())

// e^x for four lanes, x clamped to [-87, 88]; relative error below 3e-7.
inline __m128 det_exp4(__m128 x) {
    x = _mm_min_ps(x, DET_SPLAT(88.0f));
    x = _mm_max_ps(x, DET_SPLAT(-87.0f));
    // x = n ln2 + r with |r| <= ln2 / 2, ln2 split in two for an exact n ln2.
    __m128 fn = _mm_mul_ps(x, DET_SPLAT(1.44269504f));
    __m128i n = _mm_cvtps_epi32(fn);
    fn = _mm_cvtepi32_ps(n);
    __m128 r = _mm_sub_ps(x, _mm_mul_ps(fn, DET_SPLAT(0.693359375f)));
    r = _mm_sub_ps(r, _mm_mul_ps(fn, DET_SPLAT(-2.12194440e-4f)));
    // Taylor polynomial of degree 6 in Horner form.
    __m128 p = DET_SPLAT(1.0f / 720.0f);
    p = _mm_add_ps(_mm_mul_ps(p, r), DET_SPLAT(1.0f / 120.0f));
    p = _mm_add_ps(_mm_mul_ps(p, r), DET_SPLAT(1.0f / 24.0f));
    p = _mm_add_ps(_mm_mul_ps(p, r), DET_SPLAT(1.0f / 6.0f));
    p = _mm_add_ps(_mm_mul_ps(p, r), DET_SPLAT(0.5f));
    p = _mm_add_ps(_mm_mul_ps(p, r), DET_SPLAT(1.0f));
    p = _mm_add_ps(_mm_mul_ps(p, r), DET_SPLAT(1.0f));
    __m128i e = _mm_slli_epi32(_mm_add_epi32(n, _mm_set1_epi32(127)), 23);
    return _mm_mul_ps(p, _mm_castsi128_ps(e));
}

inline float det_exp(float x) {
    return _mm_cvtss_f32(det_exp4(_mm_set1_ps(x)));
}

// cos and sin of 2 pi t.
void det_sincos_2pi(float t, float* c, float* s);
