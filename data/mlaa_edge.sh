// MLAA edges of the scene image (stage 0, clamped): red = the pixel differs from the one
// below, green = it differs from the one to its right.
#include "mlaa_common.inc"
#ifdef PSH
layout(binding = 0) uniform sampler2D scene;
float luma(vec2 t) {
    return dot(texture(scene, t).rgb, vec3(0.299, 0.587, 0.114));
}
void psh() {
    float l = luma(uv);
    float below = luma(uv + vec2(0.0, st.y));
    float right = luma(uv + vec2(st.x, 0.0));
    const float threshold = 0.06;
    oC0 = vec4(step(threshold, abs(l - below)), step(threshold, abs(l - right)), 0.0, 1.0);
}
#endif
