// Forward land, in two steps: on a rasteriser that shades whole blocks of pixels, the far
// land's small triangles would run the costly shading several times per pixel, so the mesh
// only writes its view depth and SCREEN shades each land pixel once from that depth.
// Mesh: far grid POSITION (x, z), POSITION1 height; INST: near patches, POSITION (u, v) in
// the cell, POSITION1 the cell, POSITION2 its corner heights. Vertex c6: the view matrix's
// depth column / 512; out: linear view depth / 512 packed as in gbuffer_common.inc.
// SCREEN: stage 10 that depth, vertex c20 and c17..c19 as c16..c19 in deferred_common.inc,
// c16 the mesh's map and normal-map coordinates (x, z times xy, plus z and w), pixel c17.x
// fog on. Stages 1 and 5 normal maps (with the sky visibility, see land_norm.inc), 2 ground
// colour, 3 surface colour (alpha: cover), 4 detail.
#include "sky_common.inc"
#ifdef SCREEN
#include "deferred_common.inc"
#include "land_detail.inc"
#include "land_norm.inc"
#ifdef VSH
in vec4 POSITION;
flat VARYING vec3 cam;
flat VARYING vec4 map;
void vsh() {
    screen_at(POSITION.xy, vc[20]);
    cam = vc[4].xyz;
    map = vc[16];
}
#endif
#ifdef PSH
layout(binding = 2) uniform sampler2D color_tex;
layout(binding = 3) uniform sampler2D surf_tex;
layout(binding = 4) uniform sampler2D detail_tex;
flat VARYING vec3 cam;
flat VARYING vec4 map;
void psh() {
    float t = gbuffer_depth(uv);
    vec3 wpos = cam + ray * t;
    vec2 uvc = wpos.xz * map.xy + map.zz;
    vec2 uvn = wpos.xz * map.xy + map.ww;
    vec4 nt = land_normal_vis(uvn);
    vec3 n = nt.xyz;
    vec4 g = texture(color_tex, uvc);
    vec4 s = texture(surf_tex, uvc);
    vec3 albedo = to_linear(mix(g.rgb, s.rgb, s.a));
    vec4 d1 = land_detail(detail_tex, wpos, n, 0.43);
    vec4 d2 = land_detail(detail_tex, wpos, n, 0.061);
    albedo *= (0.6 + 0.8 * d1.r) * (0.78 + 0.44 * d2.g);
    // Steep ground shows bare, darker rock.
    float steep = smoothstep(0.55, 0.85, 1.0 - n.y);
    albedo = mix(albedo, albedo * vec3(0.55, 0.52, 0.5) * (0.7 + 0.6 * d1.b), steep);
    float ndl = max(dot(n, SUN_DIR), 0.0);
    float ao = nt.w;
    vec3 light = SUN_COLOR * ndl * (0.35 + 0.65 * ao) +
                 (SKY_LIGHT * (0.6 + 0.4 * n.y) + GROUND_LIGHT * (0.4 - 0.4 * n.y)) * ao;
    vec3 c = albedo * light;
    c = mix(c, sky_color(normalize(ray)), pc[17].x * fog_at(ray * t));
    oC0 = vec4(finish(c), 1.0);
}
#endif
#else
#include "gbuffer_common.inc"
#ifdef VSH
#include "land_mesh.inc"
VARYING float depth;
void vsh() {
    vec4 p = land_mesh_point();
    gl_Position = p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + vc[3];
    depth = view_depth(p);
}
#endif
#ifdef PSH
VARYING float depth;
void psh() {
    oC0 = vec4(pack_depth(depth), 1.0);
}
#endif
#endif
