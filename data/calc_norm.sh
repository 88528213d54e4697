// Normal map (4 texels per cell) from height_tex; alpha 1 (sky visibility has its own map).
#include "calc_common.inc"
#ifdef PSH
void psh() {
    oC0 = vec4(height_normal() * 0.5 + 0.5, 1.0);
}
#endif
