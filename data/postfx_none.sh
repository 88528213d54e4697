// Copies the scene image (stage 0) to the back buffer; c16 maps clip to texels.
#ifdef VSH
in vec4 POSITION;
VARYING vec2 uv;
void vsh() {
    gl_Position = vec4(POSITION.xy, 0.0, 1.0);
    uv = POSITION.xy * vc[16].xy + vc[16].zw;
}
#endif
#ifdef PSH
layout(binding = 0) uniform sampler2D scene_tex;
VARYING vec2 uv;
void psh() {
    oC0 = vec4(texture(scene_tex, uv).rgb, 1.0);
}
#endif
