#include "world/det_math.h"

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
