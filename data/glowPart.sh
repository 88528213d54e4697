// Glow particles (fire, sparks, flashes) from "glowfx.dds": light added into target 1.
#include "fx_sprite.inc"
#ifdef PSH
void psh() {
    vec4 t = texture(atlas, uv) * col;
    oC0 = vec4(0.0);
    oC1 = vec4(t.rgb * t.a, 0.0);
}
#endif
