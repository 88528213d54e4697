#include "script/ramps.h"

#include "platform/log.h"
#include "script/sqbind.h"

using namespace sqbind;

template <>
const char* const sqbind::ClassTag<ColorRamp>::name = "ColorRamp";
template <>
const char* const sqbind::ClassTag<FloatRamp>::name = "FloatRamp";

ColorRamp blend_std_fade_anim, blend_end_fade_anim, blend_rev_fade_anim, glow_std_fade_anim;
FloatRamp std_roll_anim, size_05_2_anim, size_05_4_anim;

namespace {
vec4f lerp4(const vec4f& a, const vec4f& b, float t) {
    return make4f(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t,
                  a.w + (b.w - a.w) * t);
}
float lerp1(float a, float b, float t) {
    return a + (b - a) * t;
}

// Which segment entry i of a fadeInOut ramp is in, and the smoothstep weight there.
int fade_segment(int i, float in, float out, float* w) {
    float t = float(i) / 256.0f;
    if (t < in) {
        float s = t / in;
        *w = s * s * (3.0f - 2.0f * s);
        return 0;
    }
    if (t > 1.0f - out) {
        float s = (t - (1.0f - out)) / (1.0f - (1.0f - out));
        *w = s * s * (3.0f - 2.0f * s);
        return 2;
    }
    *w = 0.0f;
    return 1;
}

// Script class faces --------------------------------------------------------

template <typename R>
R* self_or_throw(HSQUIRRELVM vm) {
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(vm, 1, &p, type_tag<R>())))
        throw SquirrelError("constructor called on an instance of another class");
    return static_cast<R*>(p);
}

// Installs `ramp` as the native object of the instance in slot 1, replacing any earlier one.
template <typename R>
void adopt_ramp(HSQUIRRELVM vm, R* existing, const R& ramp) {
    if (existing) {
        *existing = ramp;
        return;
    }
    R* obj = new_native<R>(ramp);
    try {
        init_instance(obj, vm, &ClassTag<R>::release);
    } catch (...) {
        ClassTag<R>::release(obj, 0);
        throw;
    }
    SQUserPointer check = nullptr;
    sq_getinstanceup(vm, 1, &check, type_tag<R>());
    ASSERT_TEXT(check, "ptr");
}

// Calls the script function in slot 2 with t = i / 256 for every entry; the value is left on
// the stack for `store`.
template <typename Store>
void fill_from_function(HSQUIRRELVM vm, Store store) {
    SQInteger top = sq_gettop(vm);
    for (int i = 0; i <= 256; ++i) {
        sq_push(vm, 2);
        sq_pushroottable(vm);
        sq_pushfloat(vm, float(i) / 256.0f);
        if (SQ_FAILED(sq_call(vm, 2, SQTrue, SQTrue))) {
            sq_settop(vm, top);
            throw SquirrelError("SqFunc<> call failed");
        }
        try {
            store(i);
        } catch (...) {
            sq_settop(vm, top);
            throw;
        }
        sq_settop(vm, top);
    }
}

SQInteger color_ramp_ctor(HSQUIRRELVM vm) {
    ColorRamp* self = self_or_throw<ColorRamp>(vm);
    ColorRamp* r = new_native<ColorRamp>();
    try {
        fill_from_function(vm, [&](int i) { r->e[i] = get_loose_color(vm, -1); });
        adopt_ramp(vm, self, *r);
    } catch (...) {
        ClassTag<ColorRamp>::release(r, 0);
        throw;
    }
    ClassTag<ColorRamp>::release(r, 0);
    return 0;
}

SQInteger float_ramp_ctor(HSQUIRRELVM vm) {
    FloatRamp* self = self_or_throw<FloatRamp>(vm);
    FloatRamp r;
    fill_from_function(vm, [&](int i) { r.e[i] = Arg<float>::get(vm, -1); });
    adopt_ramp(vm, self, r);
    return 0;
}

vec4f color_ramp_get(ColorRamp* r, float t) {
    return r->get(t);
}
float float_ramp_get(FloatRamp* r, float t) {
    return r->get(t);
}
void color_ramp_dump(ColorRamp* r, const char* name) {
    dump_ramp(*r, name);
}
void float_ramp_dump(FloatRamp* r, const char* name) {
    dump_ramp(*r, name);
}

// Class functions return new ramps; the builders are large, so build in place.
template <typename R, typename F>
SQInteger push_new_ramp(HSQUIRRELVM vm, F build) {
    R* r = new_native<R>();
    try {
        build(*r);
        push_instance(vm, r, type_tag<R>(), ClassTag<R>::name, &ClassTag<R>::release);
    } catch (...) {
        ClassTag<R>::release(r, 0);
        throw;
    }
    return 1;
}

SQInteger color_const(HSQUIRRELVM vm) {
    vec4f c = get_loose_color(vm, 2);
    return push_new_ramp<ColorRamp>(vm, [&](ColorRamp& r) { make_const_ramp(r, c); });
}
SQInteger color_linear(HSQUIRRELVM vm) {
    vec4f a = get_loose_color(vm, 2), b = get_loose_color(vm, 3);
    return push_new_ramp<ColorRamp>(vm, [&](ColorRamp& r) { make_linear_ramp(r, a, b); });
}
SQInteger color_fade(HSQUIRRELVM vm) {
    vec4f a = get_loose_color(vm, 2), b = get_loose_color(vm, 3), c = get_loose_color(vm, 4);
    float in = Arg<float>::get(vm, 5), out = Arg<float>::get(vm, 6);
    return push_new_ramp<ColorRamp>(
        vm, [&](ColorRamp& r) { make_fade_in_out_ramp(r, a, b, c, in, out); });
}
SQInteger float_const(HSQUIRRELVM vm) {
    float c = Arg<float>::get(vm, 2);
    return push_new_ramp<FloatRamp>(vm, [&](FloatRamp& r) { make_const_ramp(r, c); });
}
SQInteger float_linear(HSQUIRRELVM vm) {
    float a = Arg<float>::get(vm, 2), b = Arg<float>::get(vm, 3);
    return push_new_ramp<FloatRamp>(vm, [&](FloatRamp& r) { make_linear_ramp(r, a, b); });
}
SQInteger float_fade(HSQUIRRELVM vm) {
    float a = Arg<float>::get(vm, 2), b = Arg<float>::get(vm, 3), c = Arg<float>::get(vm, 4);
    float in = Arg<float>::get(vm, 5), out = Arg<float>::get(vm, 6);
    return push_new_ramp<FloatRamp>(
        vm, [&](FloatRamp& r) { make_fade_in_out_ramp(r, a, b, c, in, out); });
}
} // namespace

void make_const_ramp(ColorRamp& r, const vec4f& c) {
    for (vec4f& e : r.e) e = c;
}
void make_const_ramp(FloatRamp& r, float c) {
    for (float& e : r.e) e = c;
}
void make_linear_ramp(ColorRamp& r, const vec4f& a, const vec4f& b) {
    for (int i = 0; i <= 256; ++i) r.e[i] = lerp4(a, b, float(i) / 256.0f);
}
void make_linear_ramp(FloatRamp& r, float a, float b) {
    for (int i = 0; i <= 256; ++i) r.e[i] = lerp1(a, b, float(i) / 256.0f);
}
void make_fade_in_out_ramp(ColorRamp& r, const vec4f& a, const vec4f& b, const vec4f& c, float in,
                           float out) {
    for (int i = 0; i <= 256; ++i) {
        float w;
        int seg = fade_segment(i, in, out, &w);
        r.e[i] = seg == 0 ? lerp4(a, b, w) : seg == 2 ? lerp4(b, c, w) : b;
    }
}
void make_fade_in_out_ramp(FloatRamp& r, float a, float b, float c, float in, float out) {
    for (int i = 0; i <= 256; ++i) {
        float w;
        int seg = fade_segment(i, in, out, &w);
        r.e[i] = seg == 0 ? lerp1(a, b, w) : seg == 2 ? lerp1(b, c, w) : b;
    }
}

void dump_ramp(const ColorRamp& r, const char* name) {
    debug_("\nstatic ColorRamp %s=\n{\n ", name);
    for (int i = 0; i <= 256; ++i) {
        const vec4f& e = r.e[i];
        debug_(" make4f(%g, %g, %g, %g),", double(e.x), double(e.y), double(e.z), double(e.w));
        if (i % 4 == 3) debug_("\n ");
    }
    debug("\n};");
}

void dump_ramp(const FloatRamp& r, const char* name) {
    debug_("\nstatic FloatRamp %s=\n{\n ", name);
    for (int i = 0; i <= 256; ++i) {
        debug_(" %g,", double(r.e[i]));
        if (i % 8 == 7) debug_("\n ");
    }
    debug("\n};");
}

void register_ramp_classes(HSQUIRRELVM vm) {
    ClassBinder(vm, "ColorRamp", nullptr, type_tag<ColorRamp>())
        .raw("constructor", color_ramp_ctor)
        .method("get", color_ramp_get)
        .method("dump", color_ramp_dump)
        .raw("constRamp", color_const, true)
        .raw("linear", color_linear, true)
        .raw("fadeInOut", color_fade, true);
    ClassBinder(vm, "FloatRamp", nullptr, type_tag<FloatRamp>())
        .raw("constructor", float_ramp_ctor)
        .method("get", float_ramp_get)
        .method("dump", float_ramp_dump)
        .raw("constRamp", float_const, true)
        .raw("linear", float_linear, true)
        .raw("fadeInOut", float_fade, true);
}

void init_std_ramps() {
    vec4f clear = color_to_vec4f(0x00000000), white = color_to_vec4f(0xFFFFFFFF);
    vec4f clear_white = color_to_vec4f(0x00FFFFFF);
    make_fade_in_out_ramp(glow_std_fade_anim, clear, white, clear, 0.1f, 0.9f);
    make_fade_in_out_ramp(blend_std_fade_anim, clear_white, white, clear_white, 0.1f, 0.9f);
    make_fade_in_out_ramp(blend_end_fade_anim, clear_white, white, clear_white, 0.1f, 0.1f);
    make_fade_in_out_ramp(blend_rev_fade_anim, clear_white, white, clear_white, 0.9f, 0.1f);
    for (int i = 0; i <= 256; ++i) {
        size_05_2_anim.e[i] = 0.5f + 1.5f * float(i) / 256.0f;
        size_05_4_anim.e[i] = 0.5f + 3.5f * float(i) / 256.0f;
        std_roll_anim.e[i] = 0.0f;
    }
}
