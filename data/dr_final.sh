// Final composite of the geometry pixels: the lit colour (stage 11) faded into the sky
// colour along the view ray by distance. Pixel c16 camera, c17.x fog on (1) or off (0).
#include "sky_common.inc"
#include "deferred_common.inc"
#ifdef VSH
in vec4 POSITION;
void vsh() {
    screen_out(POSITION.xy);
}
#endif
#ifdef PSH
layout(binding = 11) uniform sampler2D lit_tex;
void psh() {
    vec3 c = texture(lit_tex, uv).rgb;
    float f = pc[17].x * fog_at(ray * gbuffer_depth(uv));
    vec3 sky = finish(sky_color(normalize(ray)));
    oC0 = vec4(mix(c, sky, f), 1.0);
}
#endif
