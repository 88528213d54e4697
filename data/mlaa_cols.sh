// MLAA column runs: how many pixels up and down continue this pixel's vertical edge, as
// mlaa_rows.sh does for rows. Work passes keep (up, down) in red and green; FINAL writes
// them to blue and alpha of the finished row result.
#include "mlaa_common.inc"
#ifdef PSH
layout(binding = 0) uniform sampler2D edges;
layout(binding = 1) uniform sampler2D prev;
#ifdef FIRST
float flag(vec2 t) {
    return inside(t) * texture(edges, t).g;
}
void psh() {
    vec2 s = st.xy;
    float u = flag(uv - s) * (1.0 + flag(uv - 2.0 * s));
    float d = flag(uv + s) * (1.0 + flag(uv + 2.0 * s));
    oC0 = vec4(u / 255.0, d / 255.0, 0.0, 0.0);
}
#else
void psh() {
    float a = pc[0].x;
    vec4 p = texture(prev, uv);
    float u = p.r, d = p.g;
    if (is_step(u, a)) u = min(a + texture(prev, uv - st.zw).r, 1.0);
    if (is_step(d, a)) d = min(a + texture(prev, uv + st.zw).g, 1.0);
#ifdef FINAL
    oC0 = vec4(0.0, 0.0, u, d);
#else
    oC0 = vec4(u, d, 0.0, 0.0);
#endif
}
#endif
#endif
