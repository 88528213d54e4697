// GUI images: a textured quad tinted by its vertex colour. Positions are pixels (origin
// top-left, y down) mapped by c16 like the distance-field text. The texture holds straight
// alpha; the output is premultiplied, as the GUI batch blends.
#ifdef VSH
in vec4 POSITION;
in vec4 COLOR;
in vec4 TEXCOORD;
VARYING vec4 col;
VARYING vec2 uv;
void vsh() {
    gl_Position = vec4(POSITION.xy * vc[16].xy + vc[16].zw, 0.0, 1.0);
    col = COLOR;
    uv = TEXCOORD.xy;
}
#endif
#ifdef PSH
layout(binding = 0) uniform sampler2D image;
VARYING vec4 col;
VARYING vec2 uv;
void psh() {
    vec4 c = texture(image, uv) * col;
    oC0 = vec4(c.rgb * c.a, c.a);
}
#endif
