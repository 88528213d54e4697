// Object shadows of one screen tile: the white mask is multiplied by the occlusion of
// NUMVEC balls (TEXCOORD0.., centre and radius). POSITION: tile corner, POSITION1: tile
// column and row; c15 tile size and origin in clip space. Pixel c0 sun, c16 camera.
// Red: sun light left, green: ambient light left (contact darkening under a ball).
#include "deferred_common.inc"
#ifdef VSH
in vec4 POSITION;
in vec4 POSITION1;
in vec4 TEXCOORD;
#if NUMVEC > 1
in vec4 TEXCOORD1;
#endif
#if NUMVEC > 2
in vec4 TEXCOORD2;
in vec4 TEXCOORD3;
#endif
#if NUMVEC > 4
in vec4 TEXCOORD4;
in vec4 TEXCOORD5;
in vec4 TEXCOORD6;
in vec4 TEXCOORD7;
#endif
flat VARYING vec4 balls[NUMVEC];
void vsh() {
    screen_out((POSITION1.xy + POSITION.xy) * vc[15].xy + vc[15].zw);
    balls[0] = TEXCOORD;
#if NUMVEC > 1
    balls[1] = TEXCOORD1;
#endif
#if NUMVEC > 2
    balls[2] = TEXCOORD2;
    balls[3] = TEXCOORD3;
#endif
#if NUMVEC > 4
    balls[4] = TEXCOORD4;
    balls[5] = TEXCOORD5;
    balls[6] = TEXCOORD6;
    balls[7] = TEXCOORD7;
#endif
}
#endif
#ifdef PSH
flat VARYING vec4 balls[NUMVEC];
void psh() {
    vec3 p = pc[16].xyz + ray * gbuffer_depth(uv);
    vec3 n = normalize(texture(gb_normal, uv).xyz * 2.0 - 1.0 + vec3(0.0, 1e-4, 0.0));
    vec3 s = pc[0].xyz;
    float sun = 1.0;
    float amb = 1.0;
    for (int i = 0; i < NUMVEC; ++i) {
        vec3 c = balls[i].xyz;
        float r = max(balls[i].w, 1e-3);
        vec3 d = c - p;
        float dl = length(d);
        // Along the sun ray: a soft disc whose penumbra widens with distance, fading out
        // before the end of the caster volume (5r around c - 3r sun).
        float t = dot(d, s);
        float h = length(d - s * t);
        float pen = r * 0.3 + max(t, 0.0) * 0.15;
        float occ = 1.0 - smoothstep(r - pen, r + pen, h);
        occ *= smoothstep(0.0, 0.5 * r, t) * (1.0 - smoothstep(4.0 * r, 7.0 * r, t));
        sun *= 1.0 - occ;
        // Ambient: the sky the ball hides, cos x solid angle, gone by 2r.
        float cosn = clamp(dot(n, d / max(dl, 1e-4)), 0.0, 1.0);
        float ao = cosn * r * r / max(dl * dl, r * r) * (1.0 - smoothstep(1.2 * r, 2.0 * r, dl));
        amb *= 1.0 - 0.8 * ao;
    }
    oC0 = vec4(sun, amb, sun, 1.0);
}
#endif
