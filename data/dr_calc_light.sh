// Deferred lighting: G-buffer (stages 8..10), object shadow mask on stage 11 (red: sun,
// green: ambient), ground + water height on stage 1, sun and sky table in c0..c12.
// Writes the lit colour after exposure, faded into the sky colour along the view ray by
// distance when pixel c17.x is 1 (fog on). LAND: the land's pixels, whose albedo and
// aperture come from the maps at the pixel's world point (see dr_land.sh): stage 0
// aperture, 2 ground colour, 3 surface colour (alpha: cover), 4 detail.
#include "sky_common.inc"
#include "deferred_common.inc"
#ifdef LAND
#include "land_detail.inc"
#endif
#ifdef VSH
in vec4 POSITION;
flat VARYING vec3 cam;
void vsh() {
    screen_out(POSITION.xy);
    cam = vc[4].xyz;
}
#endif
#ifdef PSH
layout(binding = 1) uniform sampler2D height_tex;
layout(binding = 11) uniform sampler2D shadow_mask;
#ifdef LAND
layout(binding = 0) uniform sampler2D aper_tex;
layout(binding = 2) uniform sampler2D color_tex;
layout(binding = 3) uniform sampler2D surf_tex;
layout(binding = 4) uniform sampler2D detail_tex;
#endif
flat VARYING vec3 cam;
void psh() {
    vec4 gb1 = texture(gb_normal, uv);
    vec4 mask = texture(shadow_mask, uv);
    vec3 n = normalize(gb1.xyz * 2.0 - 1.0 + vec3(0.0, 1e-4, 0.0));
    float depth = gbuffer_depth(uv);
    vec3 p = cam + ray * depth;
#ifdef LAND
    vec2 uvc = p.xz * (1.0 / 256.0) + 1.0 / 512.0;
    vec4 g = texture(color_tex, uvc);
    vec4 s = texture(surf_tex, uvc);
    vec3 gx, gy;
    land_grads(ray, depth, n, gx, gy);
    vec3 albedo = mix(g.rgb, s.rgb, s.a);
    albedo *= (0.6 + 0.8 * land_detail(detail_tex, p, n, 0.43, gx, gy).r) *
              (0.78 + 0.44 * land_detail(detail_tex, p, n, 0.061, gx, gy).g);
    albedo = to_linear(clamp(albedo, 0.0, 1.0));
    float aper = texture(aper_tex, uvc).r;
    float steep = smoothstep(0.55, 0.85, 1.0 - n.y);
#else
    vec4 gb0 = texture(gb_albedo, uv);
    vec3 v = -normalize(ray);
    float aper = gb0.a;
    float specular = gb1.a;
    bool water = specular > 0.5;

    vec3 albedo = to_linear(gb0.rgb);
    // Steep ground shows bare, darker rock.
    float steep = water ? 0.0 : smoothstep(0.55, 0.85, 1.0 - n.y);
#endif
    albedo = mix(albedo, albedo * vec3(0.55, 0.52, 0.5), steep);

    float sun_vis = mask.r;
    float ao = aper * mask.g;
    float ndl = max(dot(n, SUN_DIR), 0.0);
    vec3 sun = SUN_COLOR * ndl * sun_vis * (0.35 + 0.65 * aper);
    vec3 amb = (SKY_LIGHT * (0.6 + 0.4 * n.y) + GROUND_LIGHT * (0.4 - 0.4 * n.y)) * ao;
    vec3 c = albedo * (sun + amb);

#ifndef LAND
    if (water) {
        // The depth target still holds the ground under the water; the height map has the
        // surface, so the water's own depth tints it from sandy shallows to the deep body.
        float surface = texture(height_tex, (p.xz + 0.5) / 256.0).r;
        float wdepth = max(surface - p.y, 0.0);
        vec3 sun_light = SUN_COLOR * max(SUN_DIR.y, 0.0) * sun_vis;
        vec3 sky_light = SKY_LIGHT * (0.5 + 0.5 * aper);
        vec3 deep = WATER_BODY * (sun_light * 0.6 + sky_light);
        vec3 shallow = vec3(0.3, 0.33, 0.26) * (sun_light * 0.45 + sky_light);
        vec3 body = mix(shallow, deep, 1.0 - exp(-wdepth * 1.3));
        vec3 r = reflect(-v, n);
        r.y = abs(r.y);
        float fres = 0.02 + 0.7 * pow(1.0 - max(dot(n, v), 0.0), 5.0);
        vec3 w = mix(body, sky_color(r) * (0.4 + 0.6 * aper), fres);
        w += SUN_COLOR * pow(max(dot(r, SUN_DIR), 0.0), 180.0) * 3.0 * sun_vis;
        c = mix(w, c, 1.0 - specular); // foam is lit like ground
    }
#endif
    float f = pc[17].x * fog_at(ray * depth);
    oC0 = vec4(mix(finish(c), finish(sky_color(normalize(ray))), f), 1.0);
}
#endif
