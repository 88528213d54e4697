// Aperture map: the share of the sky each cell sees. QUALITY 0, 1, 2: more directions
// and samples reaching further.
#include "calc_common.inc"
#ifdef PSH
void psh() {
#if QUALITY == 0
    float v = sky_visibility(6, 4, 12.0);
#elif QUALITY == 1
    float v = sky_visibility(10, 6, 20.0);
#else
    float v = sky_visibility(16, 10, 32.0);
#endif
    oC0 = vec4(v, v, v, 1.0);
}
#endif
