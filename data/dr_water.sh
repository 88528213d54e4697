// Deferred water: POSITION (x, z), POSITION1 level, TEXCOORD0 two scrolling texture
// coordinate layers, TEXCOORD1 foam. Stage 0 aperture, 4 foam texture; pixel c12.x is the
// weight of layer B against layer A.
#include "gbuffer_common.inc"
#ifdef VSH
in vec4 POSITION;
in vec4 POSITION1;
in vec4 TEXCOORD;
in vec4 TEXCOORD1;
VARYING vec4 layers;
VARYING vec2 uvc;
VARYING float foam;
VARYING float depth;
void vsh() {
    vec4 p = vec4(POSITION.x, POSITION1.x, POSITION.y, 1.0);
    gl_Position = p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + vc[3];
    layers = TEXCOORD;
    uvc = POSITION.xy * vc[16].xy + vc[16].zz;
    foam = TEXCOORD1.x;
    depth = view_depth(p);
}
#endif
#ifdef PSH
layout(binding = 0) uniform sampler2D aper_tex;
layout(binding = 4) uniform sampler2D foam_tex;
VARYING vec4 layers;
VARYING vec2 uvc;
VARYING float foam;
VARYING float depth;
void psh() {
    float w = pc[12].x;
    vec4 fa = texture(foam_tex, layers.xy * 0.125);
    vec4 fb = texture(foam_tex, layers.zw * 0.125);
    vec4 f = mix(fa, fb, w);
    vec3 n = normalize(vec3((f.r - 0.5) * 0.3, 1.0, (f.g - 0.5) * 0.3));
    float cover = clamp(foam * f.a * 1.5, 0.0, 1.0);
    vec3 albedo = mix(vec3(0.02, 0.07, 0.09), vec3(0.85), cover);
    write_gbuffer(albedo, texture(aper_tex, uvc).r, n, 1.0 - cover, depth);
}
#endif
