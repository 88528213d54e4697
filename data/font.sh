// Bitmap-font text and solid overlay quads. Positions are pixels (origin bottom-left, y up)
// mapped by c16; texel coordinates are scaled by c17. A texel coordinate of (-1, -1) marks a
// solid quad drawn in its plain vertex colour.
#ifdef VSH
in vec4 POSITION;
in vec4 COLOR;
in vec4 TEXCOORD;
VARYING vec4 col;
VARYING vec2 uv;
flat VARYING float solid;
void vsh() {
    gl_Position = vec4(POSITION.xy * vc[16].xy + vc[16].zw, 0.0, 1.0);
    col = COLOR;
    uv = TEXCOORD.xy * vc[17].xy;
    solid = TEXCOORD.x < 0.0 ? 1.0 : 0.0;
}
#endif
#ifdef PSH
layout(binding = 0) uniform sampler2D font_tex;
VARYING vec4 col;
VARYING vec2 uv;
flat VARYING float solid;
void psh() {
    oC0 = solid > 0.5 ? col : texture(font_tex, uv) * col;
}
#endif
