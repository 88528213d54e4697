// Deferred land (INST: near patches): only the normal and the depth, and no albedo, which
// marks the land's pixels. The small far triangles would run costly shading several times
// per pixel on a rasteriser that shades whole blocks of pixels, so the lighting reads
// colours, detail and aperture once per pixel at the point the depth gives. Mesh inputs
// and stages 1 and 5 as land.sh.
#include "gbuffer_common.inc"
#include "land_norm.inc"
#ifdef VSH
in vec4 POSITION;
in vec4 POSITION1;
#ifdef INST
in vec4 POSITION2;
#endif
VARYING vec2 uvn;
VARYING float depth;
void vsh() {
#ifdef INST
    vec2 f = POSITION.xy;
    vec2 xz = POSITION1.xy + f;
    vec4 h = POSITION2;
    float y = mix(mix(h.x, h.y, f.x), mix(h.z, h.w, f.x), f.y);
#else
    vec2 xz = POSITION.xy;
    float y = POSITION1.x;
#endif
    vec4 p = vec4(xz.x, y, xz.y, 1.0);
    gl_Position = p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + vc[3];
    uvn = xz * vc[16].xy + vc[16].ww;
    depth = view_depth(p);
}
#endif
#ifdef PSH
VARYING vec2 uvn;
VARYING float depth;
void psh() {
    vec3 n = land_normal_vis(uvn).xyz;
    write_gbuffer(vec3(0.0), 0.0, n, 0.05, depth);
}
#endif
