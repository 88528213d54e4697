// Blend particles (smoke, dust, spray) from "blendfx.dds". Target 0 (half float) sums
// premultiplied colour and coverage, so that "postBlend.sh" can average the colours of
// dense smoke instead of letting it saturate.
#include "fx_sprite.inc"
#ifdef PSH
void psh() {
    vec4 t = texture(atlas, uv) * col;
    oC0 = vec4(t.rgb * t.a, t.a);
    oC1 = vec4(0.0);
}
#endif
