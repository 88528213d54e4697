#include "platform/log.h"
#include "script/common_script.h"
#include "script/sqbind.h"

#include <cmath>
#include <xmmintrin.h>

using namespace sqbind;

template <>
const char* const sqbind::ClassTag<vec4f>::name = "vec4f";

namespace {
vec4f* self_or_throw(HSQUIRRELVM vm) {
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(vm, 1, &p, type_tag<vec4f>())))
        throw SquirrelError("constructor called on an instance of another class");
    return static_cast<vec4f*>(p);
}

// Four arguments give (x, y, z, w); any other count fills all lanes with the first.
vec4f vec4f_from_args(HSQUIRRELVM vm) {
    SQInteger n = sq_gettop(vm) - 1;
    if (n == 4)
        return make4f(Arg<float>::get(vm, 2), Arg<float>::get(vm, 3), Arg<float>::get(vm, 4),
                      Arg<float>::get(vm, 5));
    if (n < 1) throw_type_error();
    return make4f(Arg<float>::get(vm, 2));
}

SQInteger vec4f_ctor(HSQUIRRELVM vm) {
    vec4f* self = self_or_throw(vm);
    vec4f v = vec4f_from_args(vm);
    if (self) { // constructor called again on a live instance
        *self = v;
        return 0;
    }
    vec4f* obj = new_native<vec4f>(v);
    try {
        init_instance(obj, vm, &ClassTag<vec4f>::release);
    } catch (...) {
        ClassTag<vec4f>::release(obj, 0);
        throw;
    }
    SQUserPointer check = nullptr;
    sq_getinstanceup(vm, 1, &check, type_tag<vec4f>());
    ASSERT_TEXT(check, "ptr");
    return 0;
}

unsigned lane_index(int i) {
    if (unsigned(i) > 3u) throw SquirrelError("vec4f index out of range");
    return unsigned(i);
}

float v_get(vec4f* v, int i) {
    return (&v->x)[lane_index(i)];
}
void v_set(vec4f* v, int i, float f) {
    (&v->x)[lane_index(i)] = f;
}
vec4f v_add(vec4f* a, AnyVec4f b) {
    return to_vec4f(_mm_add_ps(a->load(), b.v.load()));
}
vec4f v_sub(vec4f* a, AnyVec4f b) {
    return to_vec4f(_mm_sub_ps(a->load(), b.v.load()));
}
vec4f v_mul(vec4f* a, AnyVec4f b) {
    return to_vec4f(_mm_mul_ps(a->load(), b.v.load()));
}
vec4f v_div(vec4f* a, AnyVec4f b) {
    return to_vec4f(_mm_div_ps(a->load(), b.v.load()));
}
vec4f v_unm(vec4f* a) {
    return to_vec4f(_mm_sub_ps(_mm_setzero_ps(), a->load()));
}

SQInteger make4f_fn(HSQUIRRELVM vm) {
    push_copy(vm, vec4f_from_args(vm));
    return 1;
}

float dot3f(const vec4f& a, const vec4f& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

vec4f cross(vec4f a, vec4f b) {
    return make4f(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f);
}
vec4f dot3(vec4f a, vec4f b) {
    return make4f(dot3f(a, b));
}
vec4f len3sq(vec4f a) {
    return make4f(dot3f(a, a));
}
vec4f len3(vec4f a) {
    return make4f(sqrtf(dot3f(a, a)));
}
vec4f norm3(vec4f a) {
    float len = sqrtf(dot3f(a, a));
    if (len == 0.0f) return make4f(0.0f);
    return to_vec4f(_mm_div_ps(a.load(), _mm_set1_ps(len)));
}
vec4f norm3a(vec4f a) {
    __m128 r = _mm_rsqrt_ps(_mm_set1_ps(dot3f(a, a)));
    return to_vec4f(_mm_mul_ps(a.load(), r));
}
float getx(vec4f a) {
    return a.x;
}
float gety(vec4f a) {
    return a.y;
}
float getz(vec4f a) {
    return a.z;
}
} // namespace

void register_vec4f_script(HSQUIRRELVM vm) {
    ClassBinder(vm, "vec4f", nullptr, type_tag<vec4f>())
        .raw("constructor", vec4f_ctor)
        .method("_get", v_get)
        .method("_set", v_set)
        .method("_add", v_add)
        .method("_sub", v_sub)
        .method("_mul", v_mul)
        .method("_div", v_div)
        .method("_unm", v_unm);
    register_raw_function(vm, "make4f", make4f_fn);
    register_function(vm, "cross", cross);
    register_function(vm, "dot3", dot3);
    register_function(vm, "len3Sq", len3sq);
    register_function(vm, "len3", len3);
    register_function(vm, "norm3", norm3);
    register_function(vm, "norm3a", norm3a);
    register_function(vm, "getx", getx);
    register_function(vm, "gety", gety);
    register_function(vm, "getz", getz);
}
