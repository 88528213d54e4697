// The distant ring beyond the land circle, drawn forward into the scene image. It is fogged
// exactly like the land at the same distance, so nothing beyond the fog wall stands out
// darker than the haze. Pixel c0..c12: sun and sky table.
#include "sky_common.inc"
#ifdef VSH
in vec4 POSITION;
in vec4 POSITION1;
VARYING vec3 vdir;
VARYING float fog;
void vsh() {
    vec4 p = vec4(POSITION.x, POSITION1.x, POSITION.y, 1.0);
    gl_Position = p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + vc[3];
    vdir = p.xyz - vc[4].xyz;
    fog = fog_amount(vdir);
}
#endif
#ifdef PSH
VARYING vec3 vdir;
VARYING float fog;
void psh() {
    vec3 ground = vec3(0.12, 0.13, 0.1) * (SUN_COLOR * max(SUN_DIR.y, 0.0) + SKY_LIGHT);
    vec3 c = mix(ground, sky_color(normalize(vdir)), fog);
    oC0 = vec4(finish(c), 1.0);
}
#endif
