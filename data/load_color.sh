// One point per map cell: c16 maps cell (x, z) to clip (x/128 - 1, 1 - z/128).
#ifdef VSH
in vec4 POSITION;
in vec4 COLOR;
VARYING vec4 col;
void vsh() {
    gl_Position = vec4(POSITION.xy * vc[16].xy + vc[16].zw, 0.0, 1.0);
    col = COLOR;
}
#endif
#ifdef PSH
VARYING vec4 col;
void psh() {
    oC0 = col;
}
#endif
