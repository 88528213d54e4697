// Debug lines and triangles in world space; c0..c3 hold view x projection (row vectors).
#ifdef VSH
in vec4 POSITION;
in vec4 COLOR;
VARYING vec4 col;
void vsh() {
    vec4 p = vec4(POSITION.xyz, 1.0);
    gl_Position = p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + p.w * vc[3];
    col = COLOR;
}
#endif
#ifdef PSH
VARYING vec4 col;
void psh() {
    oC0 = col;
}
#endif
