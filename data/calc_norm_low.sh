// Normal map (4 texels per cell) from height_tex, with a cheap sky visibility in alpha
// for the forward path, which has no aperture map.
#include "calc_common.inc"
#ifdef PSH
void psh() {
    oC0 = vec4(height_normal() * 0.5 + 0.5, sky_visibility(6, 3, 8.0));
}
#endif
