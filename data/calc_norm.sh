// Height gradient map, one texel per cell (x: left minus right, y: down minus up). The high
// path's land blends a pair of these and derives its normal per pixel (land_norm.inc); the low
// path's normal pass reads it filtered.
#include "calc_common.inc"
#ifdef PSH
void psh() {
    oC0 = vec4(height_gradient(), 0.0, 1.0);
}
#endif
