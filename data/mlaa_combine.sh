// MLAA blend: stage 0 scene, 1 edges, 2 runs (red/green left/right along rows, blue/alpha
// up/down along columns). Each edge run is read as a silhouette line that starts and ends
// half a pixel up or down according to the edges crossing its ends; pixels next to the
// run take the colour across the edge in proportion to the area the line cuts off.
#include "mlaa_common.inc"
#ifdef PSH
layout(binding = 0) uniform sampler2D scene;
layout(binding = 1) uniform sampler2D edges;
layout(binding = 2) uniform sampler2D runs;
vec4 E(vec2 o) {
    return texture(edges, uv + o * st.xy);
}
vec4 R(vec2 o) {
    return texture(runs, uv + o * st.xy);
}
vec3 C(vec2 o) {
    return texture(scene, uv + o * st.xy).rgb;
}
// Pixel [i, i+1] of a run of n pixels; the line rises from 0.5 e0 at the start to 0 at the
// middle and on to 0.5 e1 at the end. x: area on the near side of the edge line (the far
// colour reaches in), y: area on the far side.
vec2 areas(float i, float n, float e0, float e1) {
    float m = 0.5 * n;
    vec2 res = vec2(0.0);
    if (i < m) {
        float s1 = min(i + 1.0, m);
        float a = 0.5 * e0 * (1.0 - (i + s1) / n) * (s1 - i);
        res += vec2(max(a, 0.0), max(-a, 0.0));
    }
    if (i + 1.0 > m) {
        float s0 = max(i, m);
        float a = 0.5 * e1 * ((s0 + i + 1.0) / n - 1.0) * (i + 1.0 - s0);
        res += vec2(max(a, 0.0), max(-a, 0.0));
    }
    return res;
}
// Horizontal edge between row `top` and the row below it (offsets relative to this pixel).
vec2 row_edge(float top) {
    vec4 r = R(vec2(0.0, top)) * 255.0;
    float l = floor(r.r + 0.5), rr = floor(r.g + 0.5);
    float e0 = E(vec2(-l - 1.0, top)).g - E(vec2(-l - 1.0, top + 1.0)).g;
    float e1 = E(vec2(rr, top)).g - E(vec2(rr, top + 1.0)).g;
    return areas(l, l + rr + 1.0, e0, e1);
}
// Vertical edge between column `left` and the column to its right.
vec2 col_edge(float left) {
    vec4 r = R(vec2(left, 0.0)) * 255.0;
    float u = floor(r.b + 0.5), d = floor(r.a + 0.5);
    float e0 = E(vec2(left, -u - 1.0)).r - E(vec2(left + 1.0, -u - 1.0)).r;
    float e1 = E(vec2(left, d)).r - E(vec2(left + 1.0, d)).r;
    return areas(u, u + d + 1.0, e0, e1);
}
void psh() {
    vec3 c = C(vec2(0.0));
    vec4 e = E(vec2(0.0));
    float w_below = e.r > 0.5 ? row_edge(0.0).x : 0.0;
    float w_above = E(vec2(0.0, -1.0)).r > 0.5 ? row_edge(-1.0).y : 0.0;
    float w_right = e.g > 0.5 ? col_edge(0.0).x : 0.0;
    float w_left = E(vec2(-1.0, 0.0)).g > 0.5 ? col_edge(-1.0).y : 0.0;
    vec3 o = c;
    o += w_below * (C(vec2(0.0, 1.0)) - c);
    o += w_above * (C(vec2(0.0, -1.0)) - c);
    o += w_right * (C(vec2(1.0, 0.0)) - c);
    o += w_left * (C(vec2(-1.0, 0.0)) - c);
    oC0 = vec4(o, 1.0);
}
#endif
