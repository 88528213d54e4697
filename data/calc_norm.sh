// Normal map (4 texels per cell) from height_tex; alpha 1 (sky visibility has its own map).
// GRAD: the gradient map, one texel per cell, that both paths' normal passes read.
#ifndef GRAD
#define NORMAL_PASS
#endif
#include "calc_common.inc"
#ifdef PSH
#ifdef GRAD
void psh() {
    oC0 = vec4(height_gradient(), 0.0, 1.0);
}
#else
void psh() {
    oC0 = vec4(height_normal() * 0.5 + 0.5, 1.0);
}
#endif
#endif
