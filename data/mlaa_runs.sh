// MLAA runs: how many pixels continue this pixel's edge to the left (red) and right (green)
// along rows of horizontal edges, and up (blue) and down (alpha) along columns of vertical
// edges, capped at 255. FIRST walks the edges (stage 0) up to c0.y pixels; the other pass,
// with step a (pixel c0.x = a / 255, vertex c17.zw = a pixels), extends runs that reached a
// by hopping up to c0.y times a pixels along that result (stage 1).
#include "mlaa_common.inc"
#ifdef PSH
layout(binding = 0) uniform sampler2D edges;
layout(binding = 1) uniform sampler2D prev;
#ifdef FIRST
void psh() {
    vec2 sx = vec2(st.x, 0.0), sy = vec2(0.0, st.y);
    int n = int(pc[0].y);
    oC0 = vec4(edge_run(edges, uv, -sx, n, 0), edge_run(edges, uv, sx, n, 0),
               edge_run(edges, uv, -sy, n, 1), edge_run(edges, uv, sy, n, 1)) /
          255.0;
}
#else
void psh() {
    vec2 sx = vec2(st.z, 0.0), sy = vec2(0.0, st.w);
    float a = pc[0].x;
    int n = int(pc[0].y);
    vec4 p = textureLod(prev, uv, 0.0);
    oC0 = vec4(extend_run(prev, uv, -sx, p.r, a, n, 0), extend_run(prev, uv, sx, p.g, a, n, 1),
               extend_run(prev, uv, -sy, p.b, a, n, 2), extend_run(prev, uv, sy, p.a, a, n, 3));
}
#endif
#endif
