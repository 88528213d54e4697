#include "world/world_gen_script.h"

#include "platform/log.h"
#include "platform/timer.h"
#include "script/common_script.h"
#include "script/ramps.h"
#include "script/sqbind.h"
#include "world/erosion.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world/rnd.h"

#include <cmath>
#include <cstdio>

using namespace sqbind;
using namespace HeightmapData;

template <>
const char* const sqbind::ClassTag<HmapMask>::name = "HmapMask";

WorldGenHooks world_gen_hooks;
SqReloadableVM world_gen_vm;

namespace {
SqFunc<void()> script_generate_world;

// ---------------------------------------------------------------- generators

// The map wraps, so only the low bits of a coordinate matter; dropping the rest first keeps
// extreme script values from overflowing inside placeHouse.
void place_house(int x, int z, int kind) {
    placeHouse(x & (HMAP_SIZE - 1), z & (HMAP_SIZE - 1), kind, hmap, false);
}

// The generators assert on these; from a script they are mistakes to report, not to die of.
void check_heights(float min_ht, float max_ht) {
    if (!(min_ht <= max_ht)) throw SquirrelError("min_ht<=max_ht");
    if (!(min_ht >= 0.0f)) throw SquirrelError("min_ht>=0");
}
void check_generator_tile(int tile) {
    if (!(tile > 0 && (tile & (tile - 1)) == 0))
        throw SquirrelError("(tile&(tile-1))==0 && tile>0");
}

void add_fast_noise(float a, float b, const ColorRamp* r, int gt, int alpha, float rough) {
    check_heights(a, b);
    addFastNoise(a, b, r, gt, alpha, rough);
}
void add_simplex_noise(float a, float b, int tile, int oct, float pers) {
    check_heights(a, b);
    check_generator_tile(tile);
    addSimplexNoise(a, b, tile, oct, pers);
}
void gen_fault(float x, float z, float dx, float dz, float h, float up, float noise,
               const ColorRamp* r, int gt) {
    genFault({x, z}, {dx, dz}, h, up, noise, r, gt, 255, hmap);
}
void gen_crater(float x, float z, float radius, float steep) {
    genCrater({x, z}, radius, steep, hmap);
}
void add_voronoi_hills(int tile, float lo, float hi, float radius) {
    check_generator_tile(tile);
    addVoronoiHills(tile, lo, hi, radius);
}
void gen_voronoi_faults(int tile, float lo, float hi, float warp, int wt, int wo, float slope) {
    check_generator_tile(tile);
    genVoronoiFaults(tile, lo, hi, warp, wt, wo, slope);
}
float recenter_hmap() {
    return recenterHt();
}
void set_sun_dir(vec4f d) {
    float len = sqrtf(d.x * d.x + d.y * d.y + d.z * d.z);
    vec4f n = len > 0.0f ? make4f(d.x / len, d.y / len, d.z / len, d.w / len) : make4f(0.0f);
    if (world_gen_hooks.set_sun_dir) world_gen_hooks.set_sun_dir(n);
}
void reseed() {
    reseed_noise();
}
float noise1_fn(float x) {
    return noise1(x);
}

bool is_power_of_two(int t) {
    return t >= 1 && (t & (t - 1)) == 0;
}

// A tile that is no power of two is a script mistake: say so rather than draw
// another pattern than the one asked for.
void check_tile(int tile, const char* fn) {
    if (!is_power_of_two(tile)) {
        static char msg[96];
        snprintf(msg, sizeof(msg), "tile must be power of 2 in %s()", fn);
        throw SquirrelError(msg);
    }
}

// The noise lattice repeats every 256 cells at most, so larger periods draw the same.
int lattice_tile(int tile) {
    return tile < 256 ? tile : 256;
}

float ramped(float n, const FloatRamp* r) {
    return r ? r->get((n + 1.0f) * 0.5f) : n;
}

float fractal_noise1(float x, int octaves, const FloatRamp* r, float gain) {
    float v = ramped(noise1(x), r), s = 2.0f * x + 0.5f, a = gain;
    for (int o = 1; o < octaves; ++o) {
        v += a * ramped(noise1(s), r);
        s = 2.0f * s + 0.5f;
        a *= gain;
    }
    return v;
}
float tiled_noise2_fn(float x, float y, int tile) {
    check_tile(tile, "tiled_noise2");
    return tiled_noise2(x, y, lattice_tile(tile));
}
float tiled_fractal_noise2(float x, float y, int tile, int octaves, const FloatRamp* r,
                           float gain) {
    check_tile(tile, "tiled_fractal_noise2");
    tile = lattice_tile(tile);
    float v = ramped(tiled_noise2(x, y, tile), r), a = gain;
    for (int o = 1; o < octaves; ++o) {
        tile = tile < 256 ? tile * 2 : 256;
        x = 2.0f * x + 0.5f;
        y = 2.0f * y + 0.5f;
        v += a * ramped(tiled_noise2(x, y, tile), r);
        a *= gain;
    }
    return v;
}
int get_noise_hash1(int a) {
    return noise_perm[a & 255];
}
int get_noise_hash2(int a, int b) {
    return noise_perm[(a & 255) + noise_perm[b & 255]];
}

float table_number(HSQUIRRELVM vm, SQInteger table, const char* key, float def) {
    sq_pushstring(vm, key, -1);
    if (SQ_FAILED(sq_get(vm, table))) return def;
    float f;
    try {
        f = Arg<float>::get(vm, -1);
    } catch (...) {
        sq_poptop(vm);
        throw;
    }
    sq_poptop(vm);
    return f;
}

// Element i of the array at stack index arr, left on the stack.
void push_element(HSQUIRRELVM vm, SQInteger arr, int i) {
    sq_pushinteger(vm, i);
    if (SQ_FAILED(sq_get(vm, arr))) throw SquirrelError(vm);
}

void read_reactions(HSQUIRRELVM vm, SQInteger table, ErosionParams& p) {
    sq_pushstring(vm, "reactions", -1);
    if (SQ_FAILED(sq_get(vm, table))) return;
    SQInteger list = sq_gettop(vm);
    if (sq_gettype(vm, list) != OT_ARRAY) throw_type_error();
    SQInteger n = sq_getsize(vm, list);
    for (int i = 0; i < n; ++i) {
        push_element(vm, list, i);
        SQInteger item = sq_gettop(vm);
        if (sq_gettype(vm, item) != OT_ARRAY) throw_type_error();
        push_element(vm, item, 0);
        vec4f from = get_loose_vec4f(vm, -1);
        push_element(vm, item, 1);
        vec4f to = get_loose_vec4f(vm, -1);
        push_element(vm, item, 2);
        float rate = Arg<float>::get(vm, -1);
        ErosionReaction r;
        const float* f = &from.x;
        const float* t = &to.x;
        for (int c = 0; c < 4; ++c) {
            r.n[c] = int(lrintf(f[c]));
            r.k[c] = (t[c] - f[c]) * rate;
        }
        p.reactions.push_back(r);
        sq_settop(vm, item - 1);
    }
    sq_settop(vm, list - 1);
}

SQInteger gen_droplet_erosion(HSQUIRRELVM vm) {
    int count = Arg<int>::get(vm, 2);
    if (sq_gettop(vm) < 3) throw_type_error();
    ErosionParams p;
    SQInteger top = sq_gettop(vm);
    try {
        if (sq_gettype(vm, 3) != OT_NULL) {
            if (sq_gettype(vm, 3) != OT_TABLE) throw_type_error();
            p.Kq = table_number(vm, 3, "Kq", p.Kq);
            p.Kw = table_number(vm, 3, "Kw", p.Kw);
            p.Kr = table_number(vm, 3, "Kr", p.Kr);
            p.Kd = table_number(vm, 3, "Kd", p.Kd);
            p.Ki = table_number(vm, 3, "Ki", p.Ki);
            p.minSlope = table_number(vm, 3, "minSlope", p.minSlope);
            p.g = table_number(vm, 3, "g", p.g);
            p.depositBlend = table_number(vm, 3, "depositBlend", p.depositBlend);
            p.reactionTime = table_number(vm, 3, "reactionTime", p.reactionTime);
            read_reactions(vm, 3, p);
        }
    } catch (...) {
        sq_settop(vm, top);
        throw;
    }
    genDropletErosion(count < 0 ? 0u : unsigned(count), p);
    return 0;
}

// ---------------------------------------------------------------- HmapMask

HmapMask* new_mask() {
    HmapMask* m = new_native<HmapMask>();
    for (float& f : m->v) f = 0.0f;
    return m;
}

SQInteger push_mask(HSQUIRRELVM vm, HmapMask* m) {
    try {
        push_instance(vm, m, type_tag<HmapMask>(), "HmapMask", &ClassTag<HmapMask>::release);
    } catch (...) {
        ClassTag<HmapMask>::release(m, 0);
        throw;
    }
    return 1;
}

// Calls the script function at stack index fn with `n` float arguments; leaves the result.
void call_script(HSQUIRRELVM vm, SQInteger fn, const float* args, int n) {
    sq_push(vm, fn);
    sq_pushroottable(vm);
    for (int i = 0; i < n; ++i) sq_pushfloat(vm, args[i]);
    if (SQ_FAILED(sq_call(vm, n + 1, SQTrue, SQTrue))) throw SquirrelError(vm);
    sq_remove(vm, -2); // the function copy
}

bool is_callable(HSQUIRRELVM vm, SQInteger idx) {
    SQObjectType t = sq_gettype(vm, idx);
    return t == OT_CLOSURE || t == OT_NATIVECLOSURE || t == OT_INSTANCE || t == OT_TABLE;
}

SQInteger mask_ctor(HSQUIRRELVM vm) {
    SQUserPointer self = nullptr;
    if (SQ_FAILED(sq_getinstanceup(vm, 1, &self, type_tag<HmapMask>())))
        throw SquirrelError("constructor called on an instance of another class");
    if (sq_gettop(vm) < 2) throw_type_error();
    HmapMask* m = new_mask();
    SQInteger top = sq_gettop(vm);
    try {
        SQObjectType t = sq_gettype(vm, 2);
        if (t == OT_INTEGER || t == OT_FLOAT) {
            float v = Arg<float>::get(vm, 2);
            for (float& f : m->v) f = v;
        } else {
            for (int y = 0; y < HMAP_SIZE; ++y)
                for (int x = 0; x < HMAP_SIZE; ++x) {
                    SQInteger mark = sq_gettop(vm);
                    sq_push(vm, 2);
                    sq_pushroottable(vm);
                    sq_pushinteger(vm, x);
                    sq_pushinteger(vm, y);
                    if (SQ_FAILED(sq_call(vm, 3, SQTrue, SQTrue))) throw SquirrelError(vm);
                    m->v[hm_index(x, y)] = Arg<float>::get(vm, -1);
                    sq_settop(vm, mark);
                }
        }
        if (self) { // constructor run again on a live mask
            *static_cast<HmapMask*>(self) = *m;
            ClassTag<HmapMask>::release(m, 0);
            return 0;
        }
        init_instance(m, vm, &ClassTag<HmapMask>::release);
    } catch (...) {
        sq_settop(vm, top);
        ClassTag<HmapMask>::release(m, 0);
        throw;
    }
    return 0;
}

float mask_getraw(HmapMask* m, int x, int y) {
    return m->v[hm_index(x, y)];
}

float sample_mask(const float* v, float x, float y) {
    float x0 = rintf(x - 0.49999988f), y0 = rintf(y - 0.49999988f);
    float fx = x - x0, fy = y - y0;
    int ix = int(x0), iy = int(y0);
    float a = v[hm_index(ix, iy)], b = v[hm_index(ix + 1, iy)];
    float c = v[hm_index(ix, iy + 1)], d = v[hm_index(ix + 1, iy + 1)];
    float top = a + (b - a) * fx, bottom = c + (d - c) * fx;
    return top + (bottom - top) * fy;
}
float mask_get(HmapMask* m, float x, float y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return 0.0f;
    return sample_mask(m->v, fmodf(x, 65536.0f), fmodf(y, 65536.0f));
}

void min_max(const float* v, float& lo, float& hi) {
    lo = hi = v[0];
    for (int i = 1; i < HMAP_CELLS; ++i) {
        if (v[i] < lo) lo = v[i];
        if (v[i] > hi) hi = v[i];
    }
}

SQInteger mask_calc_min_max(HSQUIRRELVM vm) {
    HmapMask* m = static_cast<HmapMask*>(get_instance(vm, 1, type_tag<HmapMask>()));
    float lo, hi;
    min_max(m->v, lo, hi);
    sq_newarray(vm, 0);
    sq_pushfloat(vm, lo);
    sq_arrayappend(vm, -2);
    sq_pushfloat(vm, hi);
    sq_arrayappend(vm, -2);
    return 1;
}

int tile_level(int tile) {
    int l = 0;
    while ((1 << l) < tile) ++l;
    return l;
}

void draw_heights(float lo, float hi, float h[256]) {
    for (int k = 0; k < 256; ++k) h[k] = lo + (hi - lo) * rnd_float();
}

SQInteger mask_fast_noise(HSQUIRRELVM vm) {
    float amp = Arg<float>::get(vm, 2), rough = Arg<float>::get(vm, 3);
    HmapMask* m = new_mask();
    makeFastNoise(m->v, amp, rough);
    return push_mask(vm, m);
}

SQInteger mask_from_height(HSQUIRRELVM vm) {
    HmapMask* m = new_mask();
    for (int i = 0; i < HMAP_CELLS; ++i) m->v[i] = hmap[i];
    return push_mask(vm, m);
}

SQInteger mask_from_water(HSQUIRRELVM vm) {
    HmapMask* m = new_mask();
    for (int z = 0; z < HMAP_SIZE; ++z)
        for (int x = 0; x < HMAP_SIZE; ++x) m->v[hm_index(x, z)] = water[z][x].depth;
    return push_mask(vm, m);
}

SQInteger mask_from_slope(HSQUIRRELVM vm) {
    HmapMask* m = new_mask();
    auto h = [](int x, int z) { return hmap[hm_index(x, z)]; };
    for (int z = 0; z < HMAP_SIZE; ++z)
        for (int x = 0; x < HMAP_SIZE; ++x) {
            float gx = (h(x + 1, z - 1) - h(x - 1, z - 1)) + 2.0f * (h(x + 1, z) - h(x - 1, z)) +
                       (h(x + 1, z + 1) - h(x - 1, z + 1));
            float gz = (h(x - 1, z + 1) - h(x - 1, z - 1)) + 2.0f * (h(x, z + 1) - h(x, z - 1)) +
                       (h(x + 1, z + 1) - h(x + 1, z - 1));
            m->v[hm_index(x, z)] = 8.0f / sqrtf(gx * gx + 64.0f + gz * gz);
        }
    return push_mask(vm, m);
}

SQInteger mask_from_simplex(HSQUIRRELVM vm) {
    float scale = Arg<float>::get(vm, 2);
    int tile = Arg<int>::get(vm, 3), octaves = Arg<int>::get(vm, 4);
    const FloatRamp* r = Arg<const FloatRamp*>::get(vm, 5);
    float gain = Arg<float>::get(vm, 6);
    check_tile(tile, "fromSimplexNoise");
    HmapMask* m = new_mask();
    float c = float(tile) / 256.0f;
    for (int y = 0; y < HMAP_SIZE; ++y)
        for (int x = 0; x < HMAP_SIZE; ++x)
            m->v[hm_index(x, y)] =
                scale * tiled_fractal_noise2(float(x) * c, float(y) * c, tile, octaves, r, gain);
    return push_mask(vm, m);
}

SQInteger mask_from_voronoi_hills(HSQUIRRELVM vm) {
    int tile = Arg<int>::get(vm, 2);
    float lo = Arg<float>::get(vm, 3), hi = Arg<float>::get(vm, 4), radius = Arg<float>::get(vm, 5);
    check_tile(tile, "fromVoronoiHills");
    float h[256];
    draw_heights(lo, hi, h);
    int level = tile_level(tile);
    float c = float(tile) / 256.0f, r2 = radius * radius;
    HmapMask* m = new_mask();
    Point2 off[9];
    int ids[9];
    for (int y = 0; y < HMAP_SIZE; ++y)
        for (int x = 0; x < HMAP_SIZE; ++x) {
            tiled_voronoi_noise2_all9(float(x) * c, float(y) * c, level, off, ids);
            float best = 0.0f;
            for (int k = 0; k < 9; ++k) {
                float w = 1.0f - (off[k].x * off[k].x + off[k].y * off[k].y) / r2;
                if (w > 0.0f) {
                    float cand = h[voronoi_id_hash(ids[k])] * w;
                    if (cand > best) best = cand;
                }
            }
            m->v[hm_index(x, y)] = best;
        }
    return push_mask(vm, m);
}

float warp_noise(float p, float q, int tile, int octaves) {
    float v = tiled_noise2(p, q, tile), a = 0.5f;
    for (int o = 1; o < octaves; ++o) {
        tile = tile < 256 ? tile * 2 : 256;
        p = 2.0f * p + 0.5f;
        q = 2.0f * q + 0.5f;
        v += a * tiled_noise2(p, q, tile);
        a *= 0.5f;
    }
    return v;
}

SQInteger mask_from_voronoi_faults(HSQUIRRELVM vm) {
    int tile = Arg<int>::get(vm, 2);
    float lo = Arg<float>::get(vm, 3), hi = Arg<float>::get(vm, 4);
    float distortion = Arg<float>::get(vm, 5);
    int mult = Arg<int>::get(vm, 6), octaves = Arg<int>::get(vm, 7);
    float edge = Arg<float>::get(vm, 8);
    check_tile(tile, "fromVoronoiFaults");
    if (!is_power_of_two(mult))
        throw SquirrelError("frequency multiplier must be power of 2 in fromVoronoiFaults()");
    // Both are powers of two: the product stays one as long as it fits an int.
    if (int64_t(tile) * mult > (int64_t(1) << 30))
        throw SquirrelError("tile times frequency multiplier too large in fromVoronoiFaults()");
    float h[256];
    draw_heights(lo, hi, h);
    int level = tile_level(tile);
    float m_scale = float(tile * mult) / 256.0f, c = float(tile) / 256.0f;
    int T = lattice_tile(tile * mult);
    float E = edge / c;
    HmapMask* m = new_mask();
    for (int y = 0; y < HMAP_SIZE; ++y)
        for (int x = 0; x < HMAP_SIZE; ++x) {
            float px = float(x) * m_scale, py = float(y) * m_scale;
            float dx = distortion * warp_noise(px, py, T, octaves);
            float dy = distortion * warp_noise(py, px, T, octaves);
            float d2[4];
            int ids[4];
            tiled_voronoi_noise2_near4(float(x) * c + dx, float(y) * c + dy, level, d2, ids,
                                       nullptr);
            float M = h[voronoi_id_hash(ids[0])], Q = h[voronoi_id_hash(ids[1])];
            float S = fabsf(M - Q) > 0.1f ? fabsf(M - Q) : 0.1f;
            float o = (sqrtf(d2[1]) - sqrtf(d2[0])) * E / S;
            m->v[hm_index(x, y)] = o > 1.0f ? M : ((M - Q) * o + M + Q) * 0.5f;
        }
    return push_mask(vm, m);
}

// ---------------------------------------------------------------- land operations

HmapMask* optional_mask(HSQUIRRELVM vm, SQInteger idx) {
    if (sq_gettype(vm, idx) == OT_NULL) return nullptr;
    return static_cast<HmapMask*>(get_instance(vm, idx, type_tag<HmapMask>()));
}

// Applies mask and/or function to each of the 65536 values reached through `at`.
template <typename At>
void apply_mask(HSQUIRRELVM vm, const char* no_args_msg, At at) {
    if (sq_gettop(vm) < 3) throw_type_error();
    HmapMask* m = optional_mask(vm, 2);
    bool has_fn = is_callable(vm, 3);
    if (!has_fn) {
        if (!m) throw SquirrelError(no_args_msg);
        for (int i = 0; i < HMAP_CELLS; ++i) at(i) += m->v[i];
        return;
    }
    SQInteger top = sq_gettop(vm);
    for (int i = 0; i < HMAP_CELLS; ++i) {
        float args[2] = {at(i), m ? m->v[i] : 0.0f};
        try {
            call_script(vm, 3, args, m ? 2 : 1);
            at(i) = Arg<float>::get(vm, -1);
        } catch (...) {
            sq_settop(vm, top);
            throw;
        }
        sq_settop(vm, top);
    }
}

SQInteger apply_height_mask(HSQUIRRELVM vm) {
    apply_mask(vm, "no mask and no func in apply_height_mask()",
               [](int i) -> float& { return hmap[i]; });
    return 0;
}

SQInteger apply_water_mask(HSQUIRRELVM vm) {
    apply_mask(vm, "no mask and no func in apply_water_mask()", [](int i) -> float& {
        return water[i >> HMAP_SIZE_SHIFT][i & (HMAP_SIZE - 1)].depth;
    });
    return 0;
}

uint32_t packed_from(HSQUIRRELVM vm, SQInteger idx) {
    if (sq_gettype(vm, idx) == OT_INTEGER) {
        SQInteger c = 0;
        sq_getinteger(vm, idx, &c);
        return uint32_t(c);
    }
    return vec4f_to_color(get_loose_vec4f(vm, idx));
}

void store_repaint(HSQUIRRELVM vm, SQInteger arr, Surface& s) {
    if (sq_gettype(vm, arr) != OT_ARRAY) throw_type_error();
    bool short_form = sq_getsize(vm, arr) == 2;
    push_element(vm, arr, 0);
    uint32_t ground = packed_from(vm, -1);
    push_element(vm, arr, 1);
    int gt = Arg<int>::get(vm, -1) & 15;
    uint32_t surf = 0;
    int st = 0;
    if (!short_form) {
        push_element(vm, arr, 2);
        surf = packed_from(vm, -1);
        push_element(vm, arr, 3);
        st = Arg<int>::get(vm, -1) & 15;
    }
    s.color = ground;
    s.surf_color = surf;
    s.ground_type = gt >= 8 ? gt - 16 : gt; // the 4-bit field is signed
    s.surf_type = unsigned(st);
}

SQInteger repaint_land(HSQUIRRELVM vm) {
    if (sq_gettop(vm) < 2 || !is_callable(vm, 2))
        throw SquirrelError("null function in repaint_land()");
    SQInteger top = sq_gettop(vm);
    for (int y = 0; y < HMAP_SIZE; ++y)
        for (int x = 0; x < HMAP_SIZE; ++x) {
            Surface& s = surface[hm_index(x, y)];
            try {
                sq_push(vm, 2);
                sq_pushroottable(vm);
                sq_pushinteger(vm, x);
                sq_pushinteger(vm, y);
                push_copy(vm, color_to_vec4f(s.color));
                push_copy(vm, color_to_vec4f(s.surf_color));
                if (SQ_FAILED(sq_call(vm, 5, SQTrue, SQTrue))) throw SquirrelError(vm);
                store_repaint(vm, sq_gettop(vm), s);
            } catch (...) {
                sq_settop(vm, top);
                throw;
            }
            sq_settop(vm, top);
        }
    return 0;
}

void set_soil(Surface& s, uint32_t color) {
    s.color = color;
    s.surf_color = 0;
    s.ground_type = GT_SOIL;
    s.surf_type = ST_NONE;
}

SQInteger recolor_by_height(HSQUIRRELVM vm) {
    const ColorRamp* ramp = Arg<const ColorRamp*>::get(vm, 2);
    if (!ramp) throw SquirrelError("null ramp in recolor_by_height()");
    HmapMask* m = sq_gettop(vm) >= 3 ? optional_mask(vm, 3) : nullptr;
    const float* src = m ? m->v : hmap;
    float lo, hi;
    min_max(src, lo, hi);
    // A flat source has no range: every cell takes the ramp's start.
    float scale = hi > lo ? 1.0f / (hi - lo) : 0.0f;
    for (int i = 0; i < HMAP_CELLS; ++i)
        set_soil(surface[i], ramp->getColor((src[i] - lo) * scale));
    return 0;
}

void recolor_land4(AnyColor c0, AnyColor c1, AnyColor c2, AnyColor c3) {
    __m128 k0 = c0.v.load(), k1 = c1.v.load(), k2 = c2.v.load(), k3 = c3.v.load();
    for (int i = 0; i < HMAP_CELLS; ++i) {
        vec4f w = color_to_vec4f(surface[i].color);
        float sum = w.x + w.y + w.z + w.w;
        uint32_t color = surface[i].color; // no weights at all: nothing to mix
        if (sum > 0.0f) {
            __m128 c = _mm_add_ps(
                _mm_add_ps(_mm_mul_ps(k0, _mm_set1_ps(w.x)), _mm_mul_ps(k1, _mm_set1_ps(w.y))),
                _mm_add_ps(_mm_mul_ps(k2, _mm_set1_ps(w.z)), _mm_mul_ps(k3, _mm_set1_ps(w.w))));
            color = pack_color(_mm_div_ps(c, _mm_set1_ps(sum)));
        }
        set_soil(surface[i], color);
    }
}

void register_constants(HSQUIRRELVM vm) {
    static const struct {
        const char* name;
        int value;
    } constants[] = {
        {"HMAP_SIZE", HMAP_SIZE}, {"HMAP_SIZE_SHIFT", HMAP_SIZE_SHIFT},
        {"GT_NONE", GT_NONE},     {"GT_HOUSE", GT_HOUSE},
        {"GT_ROCK", GT_ROCK},     {"GT_SAND", GT_SAND},
        {"GT_SOIL", GT_SOIL},     {"ST_OPEN", ST_OPEN},
        {"ST_NONE", ST_NONE},     {"ST_GRASS", ST_GRASS},
        {"ST_ASH", ST_ASH},       {"ST_SNOW", ST_SNOW},
        {"ST_ROAD", ST_ROAD},
    };
    sq_pushconsttable(vm);
    for (const auto& c : constants) {
        sq_pushstring(vm, c.name, -1);
        sq_pushinteger(vm, c.value);
        sq_newslot(vm, -3, SQFalse);
    }
    sq_poptop(vm);
}

void register_mask_and_land(HSQUIRRELVM vm) {
    ClassBinder(vm, "HmapMask", nullptr, type_tag<HmapMask>())
        .raw("constructor", mask_ctor)
        .method("getraw", mask_getraw)
        .method("get", mask_get)
        .raw("calcMinMax", mask_calc_min_max)
        .raw("fastNoise", mask_fast_noise, true)
        .raw("fromHeight", mask_from_height, true)
        .raw("fromSlope", mask_from_slope, true)
        .raw("fromWater", mask_from_water, true)
        .raw("fromSimplexNoise", mask_from_simplex, true)
        .raw("fromVoronoiHills", mask_from_voronoi_hills, true)
        .raw("fromVoronoiFaults", mask_from_voronoi_faults, true);
    register_raw_function(vm, "apply_height_mask", apply_height_mask);
    register_raw_function(vm, "apply_water_mask", apply_water_mask);
    register_raw_function(vm, "repaint_land", repaint_land);
    register_raw_function(vm, "recolor_by_height", recolor_by_height);
    register_function(vm, "recolor_land4", recolor_land4);
}

void register_generators(HSQUIRRELVM vm) {
    register_function(vm, "place_house", place_house);
    register_function(vm, "add_fast_noise", add_fast_noise);
    register_function(vm, "add_simplex_noise", add_simplex_noise);
    register_function(vm, "gen_fault", gen_fault);
    register_function(vm, "gen_crater", gen_crater);
    register_raw_function(vm, "gen_droplet_erosion", gen_droplet_erosion);
    register_function(vm, "add_voronoi_hills", add_voronoi_hills);
    register_function(vm, "gen_voronoi_faults", gen_voronoi_faults);
    register_function(vm, "recenter_hmap", recenter_hmap);
    register_function(vm, "set_sun_dir", set_sun_dir);
    register_function(vm, "reseed_noise", reseed);
    register_function(vm, "noise1", noise1_fn);
    register_function(vm, "fractal_noise1", fractal_noise1);
    register_function(vm, "tiled_noise2", tiled_noise2_fn);
    register_function(vm, "tiled_fractal_noise2", tiled_fractal_noise2);
    register_function(vm, "get_noise_hash1", get_noise_hash1);
    register_function(vm, "get_noise_hash2", get_noise_hash2);
    register_constants(vm);
}

void show_error(const char* desc) {
    char text[1100];
    snprintf(text, sizeof(text), "Error in world gen script:\n%s", desc);
    debug("%s", text);
    if (world_gen_hooks.set_error_message) world_gen_hooks.set_error_message(text);
}

void clear_error() {
    if (world_gen_hooks.set_error_message) world_gen_hooks.set_error_message(nullptr);
}
} // namespace

namespace {
SQInteger actor_function_thunk(HSQUIRRELVM vm) {
    const SQChar* name = nullptr;
    if (SQ_FAILED(sq_getstring(vm, -1, &name)) || !name)
        return sq_throwerror(vm, "no module function name");
    if (!world_gen_hooks.call_actor_function || !world_gen_hooks.call_actor_function(name))
        return sq_throwerror(vm, "the game-object module has no such function");
    return 0;
}
} // namespace

void register_actor_script_function(HSQUIRRELVM vm, const char* name) {
    sq_pushroottable(vm);
    sq_pushstring(vm, name, -1);
    sq_pushstring(vm, name, -1); // the closure's free variable
    sq_newclosure(vm, actor_function_thunk, 1);
    sq_setnativeclosurename(vm, -1, name);
    sq_newslot(vm, -3, SQFalse);
    sq_poptop(vm);
}

void register_world_gen_script(HSQUIRRELVM vm) {
    register_ramp_classes(vm);
    register_mask_and_land(vm);
    if (world_gen_hooks.bind_actor) world_gen_hooks.bind_actor(vm);
    register_common_script(vm);
    register_generators(vm);
}

void init_world_gen() {
    if (!world_gen_vm.init(1024)) fatal("error creating world gen script VM");
    register_world_gen_script(world_gen_vm.vm);
    try {
        if (!world_gen_vm.include("gen/main.nut")) throw SquirrelError(world_gen_vm.vm);
        script_generate_world.bind(world_gen_vm.vm, "generate_world");
    } catch (const SquirrelError& e) {
        show_error(e.desc);
    }
}

void close_world_gen() {
    script_generate_world.release();
    world_gen_vm.close();
    world_gen_vm.files.clear(); // a later start loads every file afresh
}

namespace {
bool generate_world_here() {
    if (world_gen_hooks.show_splash) world_gen_hooks.show_splash("Generating new world...", -1);
    int64_t start = get_ref_time();
    if (world_gen_hooks.remove_all_actor) world_gen_hooks.remove_all_actor();
    if (world_gen_hooks.before_regeneration) world_gen_hooks.before_regeneration();
    reset();
    debug("game_rnd_seed=%llu;", (unsigned long long)game_rnd_seed);
    try {
        if (script_generate_world.isNull())
            throw SquirrelError("No 'generate_world' function in script");
        script_generate_world();
        sq_collectgarbage(world_gen_vm.vm);
    } catch (const SquirrelError& e) {
        show_error(e.desc);
        return false;
    }
    for (int i = 0; i < HMAP_CELLS; ++i) target_hmap[i] = hmap[i];
    for (int z = 0; z < HMAP_SIZE; ++z)
        for (int x = 0; x < HMAP_SIZE; ++x) tmpw[z][x] = water[z][x];
    if (world_gen_hooks.reset_common_fx) world_gen_hooks.reset_common_fx();
    if (world_gen_hooks.mark_renderer_dirty) world_gen_hooks.mark_renderer_dirty();
    if (world_gen_hooks.reset_update_time) world_gen_hooks.reset_update_time();
    if (world_gen_hooks.after_regeneration) world_gen_hooks.after_regeneration();
    debug("generated world in %d ms", get_time_msec(get_ref_time() - start));
    return true;
}

bool generated = false;
} // namespace

bool generate_world() {
    if (!world_gen_hooks.run_generation) return generate_world_here();
    world_gen_hooks.run_generation([] { generated = generate_world_here(); });
    return generated;
}

void check_world_gen_reload() {
    if (!world_gen_vm.vm || !world_gen_vm.changed()) return;
    clear_error();
    try {
        if (!world_gen_vm.reload(true)) throw SquirrelError(world_gen_vm.vm);
        script_generate_world.bind(world_gen_vm.vm, "generate_world");
    } catch (const SquirrelError& e) {
        show_error(e.desc);
        return;
    }
    generate_world();
}
