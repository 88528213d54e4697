// MLAA column runs: how many pixels up and down continue this pixel's vertical edge, as
// mlaa_rows.sh does for rows. Work passes keep (up, down) in red and green; FINAL writes
// them to blue and alpha of the finished row result.
#include "mlaa_common.inc"
#ifdef PSH
layout(binding = 0) uniform sampler2D edges;
layout(binding = 1) uniform sampler2D prev;
#ifdef FIRST
void psh() {
    vec2 s = st.xy;
    int n = int(pc[0].y);
    oC0 = vec4(edge_run(edges, uv, -s, n, 1) / 255.0, edge_run(edges, uv, s, n, 1) / 255.0,
               0.0, 0.0);
}
#else
void psh() {
    float a = pc[0].x;
    int n = int(pc[0].y);
    vec4 p = textureLod(prev, uv, 0.0);
    float u = extend_run(prev, uv, -st.zw, p.r, a, n, 0);
    float d = extend_run(prev, uv, st.zw, p.g, a, n, 1);
#ifdef FINAL
    oC0 = vec4(0.0, 0.0, u, d);
#else
    oC0 = vec4(u, d, 0.0, 0.0);
#endif
}
#endif
#endif
