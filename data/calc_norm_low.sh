// Forward path's normal map, two texels per cell: the filtered height gradient (stage 2) in rg
// and a cheap sky visibility in b, which the land reads as it is (land_norm.inc). Texel i
// evaluates uv = i / 512 + 0.5 / 256 (pixel centres at whole coordinates, plus the half-texel
// offset of c17): every second texel lies on a gradient texel, so filtering this map gives
// the gradient map's own blend. The visibility varies slowly and costs most: VIS computes it
// for a band of rows per step, and elsewhere the previous map's texel (stage 1) carries over.
#define NORMAL_PASS
#include "calc_common.inc"
#ifdef PSH
#ifdef VIS
void psh() {
    oC0 = vec4(filtered_gradient(), sky_visibility(6, 3, 8.0), 1.0);
}
#else
layout(binding = 1) uniform sampler2D prev_tex;
void psh() {
    oC0 = vec4(filtered_gradient(), texelFetch(prev_tex, ivec2(gl_FragCoord.xy), 0).b, 1.0);
}
#endif
#endif
