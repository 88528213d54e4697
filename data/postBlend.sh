// Composites the particle targets onto the scene with premultiplied-alpha blending:
// stage 0 the blend target (summed premultiplied colour and coverage), stage 1 the glow
// target (summed light). Where coverage passes 1 the colours are averaged by their weights.
// c16 maps clip to texels.
#ifdef VSH
in vec4 POSITION;
VARYING vec2 uv;
void vsh() {
    gl_Position = vec4(POSITION.xy, 0.0, 1.0);
    uv = POSITION.xy * vc[16].xy + vc[16].zw;
}
#endif
#ifdef PSH
layout(binding = 0) uniform sampler2D blend_rt;
layout(binding = 1) uniform sampler2D glow_rt;
VARYING vec2 uv;
void psh() {
    vec4 b = texture(blend_rt, uv);
    vec3 g = texture(glow_rt, uv).rgb;
    oC0 = vec4(b.rgb / max(b.a, 1.0) + g, min(b.a, 1.0));
}
#endif
