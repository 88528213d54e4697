// Deferred land (INST: near patches): only the normal and the depth, and no albedo, which
// marks the land's pixels. The small far triangles would run costly shading several times
// per pixel on a rasteriser that shades whole blocks of pixels, so the lighting reads
// colours, detail and aperture once per pixel at the point the depth gives. Mesh inputs
// and stages 1 and 5 as land.sh.
#include "gbuffer_common.inc"
#include "land_norm.inc"
#ifdef VSH
#include "land_mesh.inc"
VARYING vec2 uvn;
VARYING float depth;
void vsh() {
    vec4 p = land_mesh_point();
    gl_Position = p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + vc[3];
    uvn = p.xz * vc[16].xy + vc[16].ww;
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
