// prev (stage 0) + (cur (stage 1) - prev) x t, t in pixel c0; c16 maps clip to texels.
#ifdef VSH
in vec4 POSITION;
VARYING vec2 uv;
void vsh() {
    gl_Position = vec4(POSITION.xy, 0.0, 1.0);
    uv = POSITION.xy * vc[16].xy + vc[16].zw;
}
#endif
#ifdef PSH
layout(binding = 0) uniform sampler2D prev_tex;
layout(binding = 1) uniform sampler2D cur_tex;
VARYING vec2 uv;
void psh() {
    vec4 a = texture(prev_tex, uv);
    oC0 = a + (texture(cur_tex, uv) - a) * pc[0];
}
#endif
