// Deferred land (INST: near patches); inputs as land.sh, plus stage 0 the aperture map.
#include "gbuffer_common.inc"
#include "land_detail.inc"
#include "land_norm.inc"
#ifdef VSH
in vec4 POSITION;
in vec4 POSITION1;
#ifdef INST
in vec4 POSITION2;
#endif
VARYING vec3 wpos;
VARYING vec2 uvc;
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
    wpos = p.xyz;
    uvc = xz * vc[16].xy + vc[16].zz;
    uvn = xz * vc[16].xy + vc[16].ww;
    depth = view_depth(p);
}
#endif
#ifdef PSH
layout(binding = 0) uniform sampler2D aper_tex;
layout(binding = 2) uniform sampler2D color_tex;
layout(binding = 3) uniform sampler2D surf_tex;
layout(binding = 4) uniform sampler2D detail_tex;
VARYING vec3 wpos;
VARYING vec2 uvc;
VARYING vec2 uvn;
VARYING float depth;
void psh() {
    vec3 n = land_normal_vis(uvn).xyz;
    vec4 g = texture(color_tex, uvc);
    vec4 s = texture(surf_tex, uvc);
    vec3 albedo = mix(g.rgb, s.rgb, s.a);
    albedo *= (0.6 + 0.8 * land_detail(detail_tex, wpos, n, 0.43).r) *
              (0.78 + 0.44 * land_detail(detail_tex, wpos, n, 0.061).g);
    write_gbuffer(clamp(albedo, 0.0, 1.0), texture(aper_tex, uvc).r, n, 0.05, depth);
}
#endif
