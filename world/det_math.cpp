#include "world/det_math.h"

__m128 det_exp4(__m128 x) {
    x = _mm_min_ps(x, _mm_set1_ps(88.0f));
    x = _mm_max_ps(x, _mm_set1_ps(-87.0f));
    // x = n ln2 + r with |r| <= ln2 / 2, ln2 split in two for an exact n ln2.
    __m128 fn = _mm_mul_ps(x, _mm_set1_ps(1.44269504f));
    __m128i n = _mm_cvtps_epi32(fn);
    fn = _mm_cvtepi32_ps(n);
    __m128 r = _mm_sub_ps(x, _mm_mul_ps(fn, _mm_set1_ps(0.693359375f)));
    r = _mm_sub_ps(r, _mm_mul_ps(fn, _mm_set1_ps(-2.12194440e-4f)));
    // Taylor polynomial of degree 6 in Horner form.
    __m128 p = _mm_set1_ps(1.0f / 720.0f);
    p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(1.0f / 120.0f));
    p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(1.0f / 24.0f));
    p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(1.0f / 6.0f));
    p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(0.5f));
    p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(1.0f));
    p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(1.0f));
    __m128i e = _mm_slli_epi32(_mm_add_epi32(n, _mm_set1_epi32(127)), 23);
    return _mm_mul_ps(p, _mm_castsi128_ps(e));
}

float det_exp(float x) {
    return _mm_cvtss_f32(det_exp4(_mm_set1_ps(x)));
}

void det_sincos_2pi(float t, float* c, float* s) {
    // Reduce to the nearest quarter turn, then Taylor series on |a| <= pi/4.
    float q = t * 4.0f;
    int k = _mm_cvtss_si32(_mm_set_ss(q));
    float a = (q - float(k)) * 1.57079637f;
    float a2 = a * a;
    float sa = a * (1.0f + a2 * (-1.0f / 6.0f +
                                 a2 * (1.0f / 120.0f + a2 * (-1.0f / 5040.0f + a2 / 362880.0f))));
    float ca = 1.0f + a2 * (-0.5f + a2 * (1.0f / 24.0f + a2 * (-1.0f / 720.0f + a2 / 40320.0f)));
    switch (k & 3) {
    case 0:
        *c = ca, *s = sa;
        break;
    case 1:
        *c = -sa, *s = ca;
        break;
    case 2:
        *c = -ca, *s = -sa;
        break;
    default:
        *c = sa, *s = -ca;
        break;
    }
}
