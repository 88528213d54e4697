// Blend particles (smoke, dust, spray) from "blendfx.dds". Target 0 sums premultiplied
// colour and coverage at a quarter scale, so dense smoke averages its colours instead of
// saturating; "postBlend.sh" undoes the scale.
#include "fx_sprite.inc"
#ifdef PSH
void psh() {
    vec4 t = texture(atlas, uv) * col;
    oC0 = vec4(t.rgb * t.a, t.a) * 0.25;
    oC1 = vec4(0.0);
}
#endif
