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

// Bytes 0..255 in four lanes to byte / 255, correctly rounded, without a division
// (a product with 1/255 is one ulp off for half the bytes). 65793 b 2^-24 (the byte
// repeated three times, an exact product) lies just below b / 255, whose remainder
// b' / 255 (b' = b scaled into 128..255) always rounds up: the answer is the next float.
inline __m128 bytes_to_unit(__m128i b) {
    alignas(16) static const float k[4] = {0x1.0101p-8f, 0x1.0101p-8f, 0x1.0101p-8f, 0x1.0101p-8f};
    __m128 below = _mm_mul_ps(_mm_cvtepi32_ps(b), _mm_load_ps(k));
    __m128i next = _mm_sub_epi32(_mm_castps_si128(below), _mm_cmpgt_epi32(b, _mm_setzero_si128()));
    return _mm_castsi128_ps(next);
}

// Packed 0xAARRGGBB colour to (r, g, b, a) in 0..1, each byte / 255.
inline __m128 unpack_color(uint32_t c) {
    __m128i b = _mm_cvtsi32_si128(int(c)); // bytes b, g, r, a
    __m128i w = _mm_unpacklo_epi8(b, _mm_setzero_si128());
    __m128i d = _mm_unpacklo_epi16(w, _mm_setzero_si128());
    __m128 f = bytes_to_unit(d);
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
