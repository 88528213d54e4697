#include "scene/sky.h"

#include "platform/log.h"
#include "render/buffers.h"
#include "render/device.h"
#include "render/error_text.h"
#include "render/shaders.h"
#include "render/vertex_decl.h"
#include "scene/scene_camera.h"
#include "script/common_script.h"
#include "script/reloadable_vm.h"
#include "script/sqbind.h"

#include <cmath>
#include <cstdio>
#include <cstring>

using namespace sqbind;

namespace {
constexpr vec4f INITIAL_SUN = {0.0f, 0.3162278f, 0.9486833f, 0.0f};

SqReloadableVM sky_vm;
SqFunc<SqObject(float)> script_get_sky_colors;
VertexDecl* sky_decl = nullptr;
GpuBuffer* sky_vb = nullptr;
GpuBuffer* sky_ib = nullptr;
Shader* sky_shader = nullptr;

void show_sky_error(const char* desc) {
    char text[1100];
    snprintf(text, sizeof(text), "Error in sky script:\n%s", desc ? desc : "unknown error");
    debug("%s", text);
    set_error_message(text);
}

float read_float(HSQUIRRELVM vm, SQInteger arr, SQInteger i) {
    sq_pushinteger(vm, i);
    if (SQ_FAILED(sq_get(vm, arr)))
        throw SquirrelError("sky colour triple has fewer than 3 values");
    SQFloat f;
    if (SQ_FAILED(sq_getfloat(vm, -1, &f))) throw SquirrelError("sky colour value is not a number");
    sq_poptop(vm);
    return float(f);
}

// The answer must be an array of at least 10 arrays of 3 numbers; nothing is written
// unless all of it reads.
void read_table(const SqObject& result, vec4f out[NUM_SKY_COLORS]) {
    HSQUIRRELVM vm = result.getVM();
    if (!vm) throw SquirrelError("get_sky_colors returned nothing");
    SQInteger top = sq_gettop(vm);
    vec4f table[NUM_SKY_COLORS];
    try {
        result.push(vm);
        if (sq_gettype(vm, -1) != OT_ARRAY)
            throw SquirrelError("get_sky_colors must return an array");
        if (sq_getsize(vm, -1) < NUM_SKY_COLORS)
            throw SquirrelError("get_sky_colors returned fewer than 10 colours");
        SQInteger arr = sq_gettop(vm);
        for (int i = 0; i < NUM_SKY_COLORS; ++i) {
            sq_pushinteger(vm, i);
            if (SQ_FAILED(sq_get(vm, arr))) throw SquirrelError("sky colour missing");
            if (sq_gettype(vm, -1) != OT_ARRAY)
                throw SquirrelError("sky colour entry is not an array");
            SQInteger e = sq_gettop(vm);
            float r = read_float(vm, e, 0), g = read_float(vm, e, 1), b = read_float(vm, e, 2);
            table[i] = make4f(r, g, b, 0.0f);
            sq_poptop(vm);
        }
    } catch (...) {
        sq_settop(vm, top);
        throw;
    }
    sq_settop(vm, top);
    memcpy(out, table, sizeof(table));
}

void eval_colors(const vec4f& s) {
    float elevation = sun_elevation_deg(s);
    if (script_get_sky_colors.isNull()) {
        memcpy(sky_colors, SKY_FALLBACK_COLORS, sizeof(sky_colors));
        return;
    }
    try {
        SqObject result = script_get_sky_colors(elevation);
        read_table(result, sky_colors);
    } catch (const SquirrelError& e) {
        show_sky_error(e.desc);
        memcpy(sky_colors, SKY_FALLBACK_COLORS, sizeof(sky_colors));
    }
}

void snap_colors() {
    memcpy(prev_sky_colors, sky_colors, sizeof(sky_colors));
    memcpy(cur_sky_colors, sky_colors, sizeof(sky_colors));
    derive_sky_entries(cur_sky_colors);
}

void bind_script() {
    script_get_sky_colors.release();
    script_get_sky_colors.bind(sky_vm.vm, "get_sky_colors");
}
} // namespace

vec4f sun_dir = INITIAL_SUN, prev_sun_dir = INITIAL_SUN, cur_sun_dir = INITIAL_SUN;
vec4f sky_colors[NUM_SKY_COLORS];
vec4f prev_sky_colors[NUM_SKY_COLORS];
vec4f cur_sky_colors[NUM_CUR_SKY_COLORS];
float sky_sun_cos = 0.9396926f;
Matrix44 scene_view_itm = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

const vec4f SKY_FALLBACK_COLORS[NUM_SKY_COLORS] = {
    {1, 1, 1, 0}, {0, 0, 0, 0},  {0.45f, 0.15f, 0.06f, 0},
    {0, 0, 0, 0}, {1, 0, 0, 0},  {0.346021f, 0, 0, 0},
    {1, 0, 0, 0}, {3, 6, 15, 0}, {2, 0, 0, 0},
    {2, 0, 0, 0},
};

void set_scene_camera(const Matrix44& view_itm) {
    scene_view_itm = view_itm;
}

float sun_elevation_deg(const vec4f& s) {
    float y = s.y > 1.0f ? 1.0f : (s.y < -1.0f ? -1.0f : s.y);
    return float(asin(double(y)) * 57.29577951308232);
}

vec4f normalize_sun(const vec4f& v) {
    float len2 = v.x * v.x + v.y * v.y + v.z * v.z;
    if (!(len2 > 0.0f)) return make4f(0.0f, 0.0f, 0.0f, 0.0f);
    float k = 1.0f / sqrtf(len2);
    return make4f(v.x * k, v.y * k, v.z * k, 0.0f);
}

void derive_sky_entries(vec4f table[NUM_CUR_SKY_COLORS]) {
    const vec4f& c = table[2];
    table[10] = make4f(expf(-c.x / 0.2f), expf(-c.y / 0.2f), expf(-c.z / 0.2f), 0.0f);
    table[11] = make4f(expf(-c.x), expf(-c.y), expf(-c.z), 0.0f);
}

void init_sky() {
    sun_dir = prev_sun_dir = cur_sun_dir = INITIAL_SUN;
    sky_sun_cos = 0.9396926f;
    static const VertexElementDesc desc[] = {{0, 0, VSD_FLOAT3, VSD_POSITION, 0}, VSD_END};
    sky_decl = get_vertex_decl(desc);
    sky_vb = create_vb(4 * 12, 0);
    sky_ib = create_ib(6, BUF_STATIC);
    sky_shader = get_shader("sky.sh");
    ASSERT_TEXT(sky_vb && sky_ib, "sky buffers");
    uint16_t* ip = static_cast<uint16_t*>(lock_ib(sky_ib, 0, 0));
    ASSERT_TEXT(ip, "ip");
    static const uint16_t idx[6] = {0, 2, 1, 1, 2, 3};
    memcpy(ip, idx, sizeof(idx));
    unlock_ib(sky_ib);
    if (!sky_vm.init(1024)) fatal("error creating sky script VM");
    register_common_script(sky_vm.vm);
    bool ok = false;
    try {
        ok = sky_vm.include("sky.nut");
    } catch (const SquirrelError&) {
        ok = false;
    }
    if (!ok) fatal("error in sky script");
    bind_script();
    eval_colors(sun_dir);
    snap_colors();
}

void close_sky() {
    script_get_sky_colors.release();
    sky_vm.close();
    sky_vm.files.clear();
    release_vb(sky_vb);
    release_ib(sky_ib);
    release_shader(sky_shader);
    sky_vb = sky_ib = nullptr;
    sky_shader = nullptr;
    sky_decl = nullptr;
}

void set_sky_sun(bool smooth, const vec4f& dir) {
    sun_dir = normalize_sun(dir);
    eval_colors(sun_dir);
    if (!smooth) {
        snap_colors();
        prev_sun_dir = cur_sun_dir = sun_dir;
    }
}

void set_sky_sun_dir_now(const vec4f& dir) {
    set_sky_sun(false, dir);
}

void step_sky() {
    memcpy(prev_sky_colors, sky_colors, sizeof(sky_colors));
    prev_sun_dir = sun_dir;
}

void update_sky(float t) {
    vec4f s = make4f(prev_sun_dir.x + (sun_dir.x - prev_sun_dir.x) * t,
                     prev_sun_dir.y + (sun_dir.y - prev_sun_dir.y) * t,
                     prev_sun_dir.z + (sun_dir.z - prev_sun_dir.z) * t, 0.0f);
    cur_sun_dir = normalize_sun(s);
    for (int i = 0; i < NUM_SKY_COLORS; ++i) {
        const vec4f &a = prev_sky_colors[i], &b = sky_colors[i];
        cur_sky_colors[i] =
            make4f(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, 0.0f);
    }
    derive_sky_entries(cur_sky_colors);
}

void reload_sky() {
    if (!sky_vm.vm || !sky_vm.changed()) return;
    set_error_message(nullptr);
    try {
        if (!sky_vm.reload(true)) throw SquirrelError(sky_vm.vm);
    } catch (const SquirrelError& e) {
        show_sky_error(e.desc);
    }
    bind_script();
    eval_colors(cur_sun_dir);
    snap_colors();
}

void set_sky_ps_consts() {
    vec4f c[1 + NUM_CUR_SKY_COLORS];
    c[0] = make4f(cur_sun_dir.x, cur_sun_dir.y, cur_sun_dir.z, sky_sun_cos);
    memcpy(&c[1], cur_sky_colors, sizeof(cur_sky_colors));
    set_ps_consts(0, &c[0].x, 1 + NUM_CUR_SKY_COLORS);
}

void set_sky_vs_consts(int first) {
    vec4f c[1 + NUM_CUR_SKY_COLORS];
    c[0] = make4f(cur_sun_dir.x, cur_sun_dir.y, cur_sun_dir.z, sky_sun_cos);
    memcpy(&c[1], cur_sky_colors, sizeof(cur_sky_colors));
    set_vs_consts(first, &c[0].x, 1 + NUM_CUR_SKY_COLORS);
}

void render_sky() {
    if (!sky_vb || !sky_ib) return;
    const Matrix44& m = scene_view_itm;
    float aspect = d3d_ht > 0 ? float(d3d_wd) / float(d3d_ht) : 1.0f;
    float* vp = static_cast<float*>(lock_vb(sky_vb, 0, 0));
    ASSERT_TEXT(vp, "vp");
    for (int i = 0; i < 4; ++i) {
        float u = (i & 2) ? 10.0f : -10.0f, r = ((i & 1) ? 10.0f : -10.0f) * aspect;
        for (int a = 0; a < 3; ++a)
            vp[i * 3 + a] = m.m[3][a] + 10.0f * m.m[2][a] + u * m.m[1][a] + r * m.m[0][a];
    }
    unlock_vb(sky_vb);
    set_vertex_decl(sky_decl);
    set_ib(sky_ib);
    set_vb(0, sky_vb, 0, 12);
    set_shader(sky_shader);
    set_sky_ps_consts();
    draw_indexed(PRIM_TRIANGLELIST, 0, 0, 4, 0, 2);
    set_vb(0, nullptr, 0, 0);
}
