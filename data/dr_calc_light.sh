// Deferred lighting: G-buffer (stages 8..10), object shadow mask on stage 11 (red: sun,
// green: ambient), ground + water height on stage 1, sun and sky table in c0..c12.
// Writes the lit colour after exposure, faded into the sky colour along the view ray by
// distance when pixel c17.x is 1 (fog on). The land writes no albedo (see dr_land.sh):
// its colours, detail and aperture come from the land's maps at the pixel's world point,
// stage 0 aperture, 2 ground colour, 3 surface colour (alpha: cover), 4 detail.
#include "sky_common.inc"
#include "deferred_common.inc"
#include "land_detail.inc"
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
layout(binding = 0) uniform sampler2D aper_tex;
layout(binding = 2) uniform sampler2D color_tex;
layout(binding = 3) uniform sampler2D surf_tex;
layout(binding = 4) uniform sampler2D detail_tex;
flat VARYING vec3 cam;
void psh() {
    vec4 gb0 = texture(gb_albedo, uv);
    vec4 gb1 = texture(gb_normal, uv);
    vec4 mask = texture(shadow_mask, uv);
    vec3 n = normalize(gb1.xyz * 2.0 - 1.0 + vec3(0.0, 1e-4, 0.0));
    float depth = gbuffer_depth(uv);
    vec3 p = cam + ray * depth;
    vec3 v = -normalize(ray);
    // Water and objects never leave all four zero (water's albedo has red, objects an
    // aperture). A branch would not save the land's fetches on a rasteriser that runs both
    // sides, and a stencil-limited pass of its own measured no cheaper than this.
    bool land = gb0 == vec4(0.0);
    vec2 uvc = p.xz * (1.0 / 256.0) + 1.0 / 512.0;
    vec4 g = texture(color_tex, uvc);
    vec4 s = texture(surf_tex, uvc);
    vec3 ground = mix(g.rgb, s.rgb, s.a);
    ground *= (0.6 + 0.8 * land_detail(detail_tex, p, n, 0.43).r) *
              (0.78 + 0.44 * land_detail(detail_tex, p, n, 0.061).g);
    float aper = land ? texture(aper_tex, uvc).r : gb0.a;
    float specular = gb1.a;
    bool water = !land && specular > 0.5;

    vec3 albedo = to_linear(land ? clamp(ground, 0.0, 1.0) : gb0.rgb);
    // Steep ground shows bare, darker rock.
    float steep = water ? 0.0 : smoothstep(0.55, 0.85, 1.0 - n.y);
    albedo = mix(albedo, albedo * vec3(0.55, 0.52, 0.5), steep);

    float sun_vis = mask.r;
    float ao = aper * mask.g;
    float ndl = max(dot(n, SUN_DIR), 0.0);
    vec3 sun = SUN_COLOR * ndl * sun_vis * (0.35 + 0.65 * aper);
    vec3 amb = (SKY_LIGHT * (0.6 + 0.4 * n.y) + GROUND_LIGHT * (0.4 - 0.4 * n.y)) * ao;
    vec3 c = albedo * (sun + amb);

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
    float f = pc[17].x * fog_at(ray * depth);
    oC0 = vec4(mix(finish(c), finish(sky_color(normalize(ray))), f), 1.0);
}
#endif
