// One point per map cell with a float value (TEXCOORD.x) into a float target.
#ifdef VSH
in vec4 POSITION;
in vec4 TEXCOORD;
VARYING float value;
void vsh() {
    gl_Position = vec4(POSITION.xy * vc[16].xy + vc[16].zw, 0.0, 1.0);
    value = TEXCOORD.x;
}
#endif
#ifdef PSH
VARYING float value;
void psh() {
    oC0 = vec4(value, 0.0, 0.0, 1.0);
}
#endif
