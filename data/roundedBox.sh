// GUI boxes: a rounded rectangle with an anti-aliased (or softened) edge over a blurred,
// offset and spread drop shadow. Positions are pixels (origin top-left, y down) mapped by
// c16 like the distance-field text. Per vertex:
//   TEXCOORD   box centre x, y and width, height in pixels
//   TEXCOORD1  corner radii / 255: top-left, top-right, bottom-right, bottom-left
//   COLOR      box colour; COLOR1 shadow colour
//   TEXCOORD2  (shadow x, shadow y, shadow blur) + 127.5, and softness; all / 255
//   TEXCOORD3  x: shadow spread; below 0 there is no shadow
// The shadow is clipped by the box's shape (a translucent box does not darken inside).
// Output is premultiplied alpha.
#ifdef VSH
in vec4 POSITION;
in vec4 TEXCOORD;
in vec4 TEXCOORD1;
in vec4 TEXCOORD2;
in vec4 TEXCOORD3;
in vec4 COLOR;
in vec4 COLOR1;
flat VARYING vec4 box;
flat VARYING vec4 radii;
flat VARYING vec4 col;
flat VARYING vec4 scol;
flat VARYING vec4 params;
flat VARYING float spread;
void vsh() {
    gl_Position = vec4(POSITION.xy * vc[16].xy + vc[16].zw, 0.0, 1.0);
    box = TEXCOORD;
    radii = TEXCOORD1 * 255.0;
    col = COLOR;
    scol = COLOR1;
    params = vec4(TEXCOORD2.xyz * 255.0 - 127.5, TEXCOORD2.w * 255.0);
    spread = TEXCOORD3.x;
}
#endif
#ifdef PSH
flat VARYING vec4 box;
flat VARYING vec4 radii;
flat VARYING vec4 col;
flat VARYING vec4 scol;
flat VARYING vec4 params;
flat VARYING float spread;

// Signed distance from p (relative to the centre) to a rounded box; negative inside.
float box_dist(vec2 p, vec2 half_size, vec4 r) {
    float rad = p.x < 0.0 ? (p.y < 0.0 ? r.x : r.w) : (p.y < 0.0 ? r.y : r.z);
    rad = clamp(rad, 0.0, min(half_size.x, half_size.y));
    vec2 q = abs(p) - half_size + rad;
    return length(max(q, 0.0)) + min(max(q.x, q.y), 0.0) - rad;
}

void psh() {
    // Window coordinates put pixel centres half a pixel inside the area they cover: a box
    // from 10 to 50 fills pixels 10..49 exactly, whatever sub-pixel shift the quad has.
    vec2 p = gl_FragCoord.xy - box.xy;
    vec2 half_size = max(box.zw * 0.5, vec2(0.0));
    float soft = max(params.w, 1.0); // width of the edge's ramp in pixels
    float inside = clamp(0.5 - box_dist(p, half_size, radii) / soft, 0.0, 1.0);
    float a = col.a * inside;
    vec3 rgb = col.rgb * a;
    if (spread >= 0.0) {
        float blur = max(params.z, 0.5);
        float d = box_dist(p - params.xy, half_size + spread, radii + spread);
        float s = scol.a * (1.0 - smoothstep(-blur, blur, d)) * (1.0 - inside);
        rgb += scol.rgb * s;
        a += s;
    }
    oC0 = vec4(rgb, a);
}
#endif
