// Normal map (4 texels per cell) from height_tex, with a cheap sky visibility in alpha
// for the forward path, which has no aperture map. The visibility varies slowly, so VIS
// computes it into a 512 x 512 map first and the normal pass reads it back filtered from
// stage 1. Texel i of an N-texel target evaluates uv = i / N + 0.5 / 256 (pixel centres
// at whole coordinates, plus the half-texel offset of c17), so the visibility map holds
// the value for uv at uv - 0.5 / 256 + 0.5 / 512.
#ifndef VIS
#define NORMAL_PASS
#endif
#include "calc_common.inc"
#ifdef PSH
#ifdef VIS
void psh() {
    float v = sky_visibility(6, 3, 8.0);
    oC0 = vec4(v, v, v, 1.0);
}
#else
layout(binding = 1) uniform sampler2D vis_tex;
void psh() {
    oC0 = vec4(height_normal() * 0.5 + 0.5, texture(vis_tex, uv - 0.25 * pc[0].xy).r);
}
#endif
#endif
