// MLAA row runs: how many pixels left (red) and right (green) continue this pixel's
// horizontal edge. FIRST counts up to 2 from the edges (stage 0); each later pass with step
// a (pixel c0.x = a / 255) extends runs that reached a by the run found a pixels further
// (stage 1), so 8 passes reach 255.
#include "mlaa_common.inc"
#ifdef PSH
layout(binding = 0) uniform sampler2D edges;
layout(binding = 1) uniform sampler2D prev;
#ifdef FIRST
float flag(vec2 t) {
    return inside(t) * texture(edges, t).r;
}
void psh() {
    vec2 s = st.xy;
    float l = flag(uv - s) * (1.0 + flag(uv - 2.0 * s));
    float r = flag(uv + s) * (1.0 + flag(uv + 2.0 * s));
    oC0 = vec4(l / 255.0, r / 255.0, 0.0, 0.0);
}
#else
void psh() {
    float a = pc[0].x;
    vec4 p = texture(prev, uv);
    float l = p.r, r = p.g;
    if (is_step(l, a)) l = min(a + texture(prev, uv - st.zw).r, 1.0);
    if (is_step(r, a)) r = min(a + texture(prev, uv + st.zw).g, 1.0);
    oC0 = vec4(l, r, 0.0, 0.0);
}
#endif
#endif
