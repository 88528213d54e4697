// Composites the particle targets onto the scene with premultiplied-alpha blending:
// stage 0 the blend target (colour and coverage at a quarter), stage 1 the glow target
// (light at a half). Where coverage passes 1 the colours are averaged by their weights.
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
    vec4 b = texture(blend_rt, uv) * 4.0;
    vec3 g = texture(glow_rt, uv).rgb * 2.0;
    oC0 = vec4(b.rgb / max(b.a, 1.0) + g, min(b.a, 1.0));
}
#endif
