// MLAA row runs: how many pixels left (red) and right (green) continue this pixel's
// horizontal edge, capped at 255. FIRST walks the edges (stage 0) up to c0.y pixels; each
// later pass with step a (pixel c0.x = a / 255) extends runs that reached a by hopping up
// to c0.y times a pixels along the previous result (stage 1), so two passes reach 255.
#include "mlaa_common.inc"
#ifdef PSH
layout(binding = 0) uniform sampler2D edges;
layout(binding = 1) uniform sampler2D prev;
#ifdef FIRST
void psh() {
    vec2 s = st.xy;
    int n = int(pc[0].y);
    oC0 = vec4(edge_run(edges, uv, -s, n, 0) / 255.0, edge_run(edges, uv, s, n, 0) / 255.0,
               0.0, 0.0);
}
#else
void psh() {
    float a = pc[0].x;
    int n = int(pc[0].y);
    vec4 p = textureLod(prev, uv, 0.0);
    oC0 = vec4(extend_run(prev, uv, -st.zw, p.r, a, n, 0),
               extend_run(prev, uv, st.zw, p.g, a, n, 1), 0.0, 0.0);
}
#endif
#endif
