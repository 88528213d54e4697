// MLAA edges of the scene image (stage 0, clamped): red = the pixel differs from the one
// below, green = it differs from the one to its right. Pixels the blend leaves alone (no
// edge of their own, none from the pixel above or to the left) are discarded, so the
// stencil this pass sets limits the later passes to the few pixels along edges.
#include "mlaa_common.inc"
#ifdef PSH
layout(binding = 0) uniform sampler2D scene;
float luma(vec2 t) {
    return dot(texture(scene, t).rgb, vec3(0.299, 0.587, 0.114));
}
void psh() {
    float l = luma(uv);
    const float threshold = 0.06;
    vec2 e = step(vec2(threshold), abs(l - vec2(luma(uv + vec2(0.0, st.y)),
                                                luma(uv + vec2(st.x, 0.0)))));
    vec2 from = step(vec2(threshold), abs(l - vec2(luma(uv - vec2(0.0, st.y)),
                                                   luma(uv - vec2(st.x, 0.0)))));
    if (e.x + e.y + from.x + from.y == 0.0) discard;
    oC0 = vec4(e, 0.0, 1.0);
}
#endif
