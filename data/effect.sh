// Trails: ribbons and head sprites in world space with the glow atlas (stage 0), added
// into the glow target like the glow particles. c0..c3 view x projection.
#ifdef VSH
in vec4 POSITION;
in vec4 COLOR;
in vec4 TEXCOORD;
VARYING vec2 uv;
VARYING vec4 col;
void vsh() {
    vec3 p = POSITION.xyz;
    gl_Position = p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + vc[3];
    uv = TEXCOORD.xy;
    col = COLOR;
}
#endif
#ifdef PSH
layout(binding = 0) uniform sampler2D atlas;
layout(location = 1) out vec4 oC1;
VARYING vec2 uv;
VARYING vec4 col;
void psh() {
    vec4 t = texture(atlas, uv) * col;
    oC0 = vec4(0.0);
    oC1 = vec4(t.rgb * t.a, 0.0);
}
#endif
