// The screen effect on the way to the back buffer: a faint glow around bright light, a
// gentle grade and vignette, and the frame colour (pixel c1: rgb, strength in alpha) laid
// over the picture, strongest at the frame. c0 = (1 / width, 1 / height, width, height).
#ifdef VSH
in vec4 POSITION;
VARYING vec2 uv;
VARYING vec2 pos;
void vsh() {
    gl_Position = vec4(POSITION.xy, 0.0, 1.0);
    uv = POSITION.xy * vc[16].xy + vc[16].zw;
    pos = POSITION.xy;
}
#endif
#ifdef PSH
layout(binding = 0) uniform sampler2D scene_tex;
VARYING vec2 uv;
VARYING vec2 pos;
vec3 bright(vec2 o) {
    vec3 c = texture(scene_tex, uv + o * pc[0].xy).rgb;
    return max(c - vec3(0.78), vec3(0.0));
}
void psh() {
    vec3 c = texture(scene_tex, uv).rgb;
    vec3 glow = (bright(vec2(3.0, 0.0)) + bright(vec2(-3.0, 0.0)) + bright(vec2(0.0, 3.0)) +
                 bright(vec2(0.0, -3.0)) + bright(vec2(2.0, 2.0)) + bright(vec2(-2.0, 2.0)) +
                 bright(vec2(2.0, -2.0)) + bright(vec2(-2.0, -2.0))) * 0.125;
    c += glow * 0.6;
    // A touch more contrast and warmth in the mid-tones.
    float l = dot(c, vec3(0.299, 0.587, 0.114));
    c = mix(vec3(l), c, 1.06);
    c = c + (c - 0.5) * c * (1.0 - c) * 0.25;
    c *= vec3(1.015, 1.0, 0.985);
    vec2 q = pos * vec2(1.0, pc[0].w * pc[0].x);
    float edge = clamp(dot(q, q) * 0.5, 0.0, 1.0);
    c *= 1.0 - 0.22 * edge * edge;
    vec4 frame = pc[1];
    c = mix(c, frame.rgb, clamp(frame.a, 0.0, 1.0) * (0.35 + 0.65 * edge));
    oC0 = vec4(clamp(c, 0.0, 1.0), 1.0);
}
#endif
