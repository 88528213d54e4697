// Forward water: POSITION (x, z), POSITION1 surface level, TEXCOORD1 foam. Stages: 1 normals
// of ground + water, 4 detail (ripples). Drawn with alpha blending over the land.
#include "sky_common.inc"
#include "land_norm.inc"
#ifdef VSH
in vec4 POSITION;
in vec4 POSITION1;
in vec4 TEXCOORD1;
VARYING vec3 wpos;
VARYING vec3 vdir;
VARYING vec2 uvn;
VARYING float foam;
VARYING float fog;
void vsh() {
    vec4 p = vec4(POSITION.x, POSITION1.x, POSITION.y, 1.0);
    gl_Position = p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + vc[3];
    wpos = p.xyz;
    vdir = p.xyz - vc[4].xyz;
    uvn = POSITION.xy * vc[16].xy + vc[16].ww;
    foam = TEXCOORD1.x;
    fog = vc[5].x * fog_amount(vdir);
}
#endif
#ifdef PSH
layout(binding = 4) uniform sampler2D detail_tex;
VARYING vec3 wpos;
VARYING vec3 vdir;
VARYING vec2 uvn;
VARYING float foam;
VARYING float fog;
void psh() {
    vec3 n = land_normal_vis(uvn).xyz;
    vec2 q = wpos.xz * 0.21;
    const float e = 1.0 / 64.0;
    float r0 = texture(detail_tex, q).b;
    float rx = texture(detail_tex, q + vec2(e, 0.0)).b;
    float rz = texture(detail_tex, q + vec2(0.0, e)).b;
    n = normalize(n + vec3(r0 - rx, 0.0, r0 - rz) * 2.5);
    vec3 v = normalize(-vdir);
    vec3 r = reflect(-v, n);
    r.y = abs(r.y);
    float fres = 0.02 + 0.7 * pow(1.0 - max(dot(n, v), 0.0), 5.0);
    vec3 sun_light = SUN_COLOR * max(SUN_DIR.y, 0.0);
    vec3 body = WATER_BODY * (sun_light * 0.6 + SKY_LIGHT);
    vec3 c = mix(body, sky_color(r), fres);
    c += SUN_COLOR * pow(max(dot(r, SUN_DIR), 0.0), 180.0) * 3.0;
    float f = clamp(foam, 0.0, 1.0) * (0.6 + 0.8 * texture(detail_tex, wpos.xz * 0.7).r);
    c = mix(c, (sun_light + SKY_LIGHT) * 0.8, smoothstep(0.4, 1.2, f) * 0.45);
    c = mix(c, sky_color(normalize(vdir)), fog);
    float a = clamp(0.62 + fres + f, 0.0, 1.0);
    a = mix(a, 1.0, fog);
    oC0 = vec4(finish(c), a);
}
#endif
