// Distance-field text. The page holds distance to the glyph edge (0.5 on the edge, growing
// inwards). Per-vertex packed parameters (TEXCOORD1, read as r, g, b, a):
//   a: threshold of the glyph's edge, half a pixel outside it for edge 0
//   r, g: shadow offset in page coordinates, 0.5 - 32 * offset (0.5 means none)
//   b: threshold of the outer edge drawn in the second colour (outline, or the shadow
//      when an offset is given)
// Output is premultiplied alpha.
#ifdef VSH
in vec4 POSITION;
in vec4 COLOR;
in vec4 COLOR1;
in vec4 TEXCOORD;
in vec4 TEXCOORD1;
VARYING vec4 col;
VARYING vec4 col2;
VARYING vec2 uv;
VARYING vec4 params;
void vsh() {
    gl_Position = vec4(POSITION.xy * vc[16].xy + vc[16].zw, 0.0, 1.0);
    col = COLOR;
    col2 = COLOR1;
    uv = TEXCOORD.xy;
    params = TEXCOORD1;
}
#endif
#ifdef PSH
layout(binding = 0) uniform sampler2D page;
VARYING vec4 col;
VARYING vec4 col2;
VARYING vec2 uv;
VARYING vec4 params;
void psh() {
    float d = texture(page, uv).r;
    // Distance change over one screen pixel: the width of the anti-aliased band.
    float w = max(fwidth(d), 1.0 / 255.0);
    float inner = clamp((d - params.a) / w, 0.0, 1.0);
    vec2 offset = (vec2(0.5) - params.rg) / 32.0;
    float d2 = texture(page, uv - offset).r;
    float outer = clamp((d2 - params.b) / w, 0.0, 1.0);
    float a1 = col.a * inner;
    float a2 = col2.a * outer * (1.0 - a1);
    oC0 = vec4(col.rgb * a1 + col2.rgb * a2, a1 + a2);
}
#endif
