// 4-float vectors for positions, directions and colours (red, green, blue, alpha in x..w).
#pragma once

#include <cstdint>
#include <emmintrin.h>

struct alignas(16) vec4f {
    float x, y, z, w;

    __m128 load() const { return _mm_load_ps(&x); }
    void store(__m128 v) { _mm_store_ps(&x, v); }
};

constexpr vec4f make4f(float x, float y, float z, float w) {
    return vec4f{x, y, z, w};
}
constexpr vec4f make4f(float v) {
    return vec4f{v, v, v, v};
}

inline vec4f to_vec4f(__m128 v) {
    vec4f r;
    r.store(v);
    return r;
}

// Packed 0xAARRGGBB colour to (r, g, b, a) in 0..1.
inline __m128 unpack_color(uint32_t c) {
    __m128i b = _mm_cvtsi32_si128(int(c)); // bytes b, g, r, a
    __m128i w = _mm_unpacklo_epi8(b, _mm_setzero_si128());
    __m128i d = _mm_unpacklo_epi16(w, _mm_setzero_si128());
    // Divided, not multiplied by 1/255: half the bytes would come out one ulp off.
    __m128 f = _mm_div_ps(_mm_cvtepi32_ps(d), _mm_set1_ps(255.0f));
    return _mm_shuffle_ps(f, f, _MM_SHUFFLE(3, 0, 1, 2)); // b,g,r,a -> r,g,b,a
}

// (r, g, b, a) to 0xAARRGGBB: clamped to 0..1 (NaN counts as 0), times 255, nearest-even.
inline uint32_t pack_color(__m128 v) {
    v = _mm_max_ps(v, _mm_setzero_ps()); // maxps yields its second operand for NaN
    v = _mm_min_ps(v, _mm_set1_ps(1.0f));
    __m128i i = _mm_cvtps_epi32(_mm_mul_ps(v, _mm_set1_ps(255.0f)));
    i = _mm_shuffle_epi32(i, _MM_SHUFFLE(3, 0, 1, 2)); // r,g,b,a -> b,g,r,a
    i = _mm_packs_epi32(i, i);
    i = _mm_packus_epi16(i, i);
    return uint32_t(_mm_cvtsi128_si32(i));
}

inline vec4f color_to_vec4f(uint32_t c) {
    return to_vec4f(unpack_color(c));
}
inline uint32_t vec4f_to_color(const vec4f& v) {
    return pack_color(v.load());
}
