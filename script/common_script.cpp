#include "script/common_script.h"

#include "platform/timer.h"
#include "script/sqbind.h"
#include "world/rnd.h"

#include <cmath>

using namespace sqbind;

namespace {
int hmrnd() {
    return int(rnd_step() & 255);
}
float hmfrnd() {
    return rnd_float() * 256.0f;
}
float hmsrnd() {
    return (2.0f * rnd_float() - 1.0f) * 128.0f;
}
int irnd() {
    return int(rnd_step() & 0x7FFFFFFF);
}
float frnd() {
    return rnd_float();
}
float srnd() {
    return 2.0f * rnd_float() - 1.0f;
}
float rndf(float a, float b) {
    return a + rnd_float() * (b - a);
}
void set_rnd_seed(SQInteger s) {
    game_rnd_seed = uint64_t(s);
}
void randomize_rnd_seed() {
    game_rnd_seed = uint64_t(get_ref_time());
}

vec4f lerp(const vec4f& a, const vec4f& b, float t) {
    return make4f(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t,
                  a.w + (b.w - a.w) * t);
}
vec4f madd(const vec4f& acc, const vec4f& c, float w) {
    return make4f(acc.x + c.x * w, acc.y + c.y * w, acc.z + c.z * w, acc.w + c.w * w);
}

vec4f lerpcolor(AnyColor c0, AnyColor c1, float t) {
    return lerp(c0.v, c1.v, t);
}
vec4f mix3colors(AnyColor c0, float w0, AnyColor c1, float w1, AnyColor c2, float w2) {
    return madd(madd(madd(make4f(0.0f), c0.v, w0), c1.v, w1), c2.v, w2);
}
vec4f mix4colors(AnyColor c0, float w0, AnyColor c1, float w1, AnyColor c2, float w2, AnyColor c3,
                 float w3) {
    return madd(mix3colors(c0, w0, c1, w1, c2, w2), c3.v, w3);
}
vec4f hsv2rgba(float h, float s, float v, float a) {
    return hsv_to_rgba(h, s, v, a);
}
vec4f lch2rgba(float l, float k, float h, float a) {
    return lch_to_rgba(l, k, h, a);
}
float wrap(float x) {
    return wrap_coord(x);
}

constexpr float TWO_PI = 6.28318530717958647692f;
vec4f make_dir_2d(vec4f a, vec4f b, float t) {
    float c = cosf(TWO_PI * t), s = sinf(TWO_PI * t);
    return make4f(c * a.x + s * b.x, c * a.y + s * b.y, c * a.z + s * b.z, c * a.w + s * b.w);
}
vec4f make_dir_xz(float t) {
    return make4f(cosf(TWO_PI * t), 0.0f, sinf(TWO_PI * t), 0.0f);
}

float lch_channel(float c) {
    return c > 0.0031308f ? 1.055f * powf(c, 0.4166666567f) - 0.055f : 12.92f * c;
}
float lab_cube(float f) {
    float c = f * f * f;
    return c > 0.008856f ? c : (f - 0.13793103f) * 0.12841855f;
}
} // namespace

float wrap_coord(float x) {
    float f = x / 256.0f;
    f = (f - truncf(f)) * 256.0f;
    if (f > 128.0f) return f - 256.0f;
    if (f <= -128.0f) return f + 256.0f;
    return f;
}

vec4f hsv_to_rgba(float h, float s, float v, float a) {
    if (s == 0.0f) return make4f(v, v, v, a);
    float hh = h / 360.0f;
    hh = (hh - floorf(hh)) * 6.0f;
    float i = floorf(hh), f = hh - i;
    float p = v * (1.0f - s), q = v * (1.0f - s * f), t = v * (1.0f - s * (1.0f - f));
    switch (int(i)) {
    case 0:
        return make4f(v, t, p, a);
    case 1:
        return make4f(q, v, p, a);
    case 2:
        return make4f(p, v, t, a);
    case 3:
        return make4f(p, q, v, a);
    case 4:
        return make4f(t, p, v, a);
    default:
        return make4f(v, p, q, a);
    }
}

vec4f lch_to_rgba(float l, float k, float h, float a) {
    float hr = h * 3.14159265358979f / 180.0f;
    float fy = (l + 16.0f) * 0.00862069f;
    float fx = fy + k * cosf(hr) * 0.002f;
    float fz = fy - k * sinf(hr) * 0.005f;
    float X = lab_cube(fx) * 95.047f * 0.01f;
    float Y = lab_cube(fy) * 100.0f * 0.01f;
    float Z = lab_cube(fz) * 108.883f * 0.01f;
    float r = 3.2406f * X - 1.5372f * Y - 0.4986f * Z;
    float g = -0.9689f * X + 1.8758f * Y + 0.0415f * Z;
    float b = 0.0557f * X - 0.2040f * Y + 1.0570f * Z;
    return make4f(lch_channel(r), lch_channel(g), lch_channel(b), a);
}

void register_common_script(HSQUIRRELVM vm) {
    register_vec4f_script(vm);
    register_function(vm, "hmrnd", hmrnd);
    register_function(vm, "hmfrnd", hmfrnd);
    register_function(vm, "hmsrnd", hmsrnd);
    register_function(vm, "irnd", irnd);
    register_function(vm, "frnd", frnd);
    register_function(vm, "srnd", srnd);
    register_function(vm, "rndf", rndf);
    register_function(vm, "set_rnd_seed", set_rnd_seed);
    register_function(vm, "randomize_rnd_seed", randomize_rnd_seed);
    register_function(vm, "wrap", wrap);
    register_function(vm, "lerpcolor", lerpcolor);
    register_function(vm, "mix3colors", mix3colors);
    register_function(vm, "mix4colors", mix4colors);
    register_function(vm, "hsv2rgba", hsv2rgba);
    register_function(vm, "lch2rgba", lch2rgba);
    register_function(vm, "make_dir_2d", make_dir_2d);
    register_function(vm, "make_dir_xz", make_dir_xz);
}
