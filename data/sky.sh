// The sky quad: every pixel no land or water covered. c0..c3 view x projection, c4 camera.
#include "sky_common.inc"
#ifdef VSH
in vec4 POSITION;
VARYING vec3 dir;
void vsh() {
    vec4 p = vec4(POSITION.xyz, 1.0);
    gl_Position = p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + vc[3];
    dir = POSITION.xyz - vc[4].xyz;
}
#endif
#ifdef PSH
VARYING vec3 dir;
void psh() {
    vec3 d = normalize(dir);
    vec3 c = sky_color(d);
    float s = dot(d, SUN_DIR);
    c += SUN_COLOR * smoothstep(0.99955, 0.9998, s) * 6.0 * step(0.0, d.y);
    oC0 = vec4(finish(c), 1.0);
}
#endif
