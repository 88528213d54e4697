#include "world/heightmap.h"

#include <cstring>

namespace HeightmapData {

alignas(64) float hmap[HMAP_CELLS];
alignas(64) float target_hmap[HMAP_CELLS];
alignas(64) Water water[HMAP_SIZE][HMAP_SIZE];
alignas(64) Water tmpw[HMAP_SIZE][HMAP_SIZE];
alignas(64) Surface surface[HMAP_CELLS];
alignas(64) float old_depth[HMAP_CELLS];

void reset() {
    memset(hmap, 0, sizeof(hmap));
    memset(target_hmap, 0, sizeof(target_hmap));
    Surface grey_rock{};
    grey_rock.color = 0xFF808080u;
    grey_rock.ground_type = GT_ROCK;
    for (Surface& s : surface) s = grey_rock;
    memset(water, 0, sizeof(water));
}

void calcHtRange(float& min, float& max) {
    float lo = hmap[0], hi = hmap[0];
    for (int i = 1; i < HMAP_CELLS; ++i) {
        float v = hmap[i];
        if (v < lo) lo = v;
        if (v > hi) hi = v;
    }
    min = lo;
    max = hi;
}

float recenterHt() {
    float lo, hi;
    calcHtRange(lo, hi);
    float offset = -(lo + hi) * 0.5f;
    for (float& v : hmap) v += offset;
    return (hi - lo) * 0.5f;
}

namespace {

struct MorphConsts {
    __m128 rate, dt, sign, tiny;
};

MorphConsts morph_consts(float dt) {
    float rate = 0.2f * dt;
    if (rate > 1.0f) rate = 1.0f;
    return {_mm_set1_ps(rate), _mm_set1_ps(dt), _mm_set1_ps(-0.0f), _mm_set1_ps(0.001f)};
}

// One morph step of four heights towards their targets. A step that covers the whole
// distance lands on the target exactly instead of on h + d, which may round past it.
inline __m128 morph4(__m128 h, __m128 t, __m128 d, const MorphConsts& k) {
    __m128 ad = _mm_andnot_ps(k.sign, d);
    __m128 step = _mm_min_ps(_mm_add_ps(_mm_mul_ps(ad, k.rate), k.dt), ad);
    __m128 moved = _mm_add_ps(h, _mm_or_ps(step, _mm_and_ps(d, k.sign)));
    __m128 arrive = _mm_cmpge_ps(step, ad);
    return _mm_or_ps(_mm_and_ps(arrive, t), _mm_andnot_ps(arrive, moved));
}

} // namespace

void updateHmap(float dt) {
    MorphConsts k = morph_consts(dt);
    for (int i = 0; i < HMAP_CELLS; i += 4) {
        __m128 h = _mm_load_ps(hmap + i);
        __m128 t = _mm_load_ps(target_hmap + i);
        __m128 d = _mm_sub_ps(t, h);
        // A group whose four cells are all within 0.001 of their targets stays as it is.
        if (_mm_movemask_ps(_mm_cmplt_ps(_mm_andnot_ps(k.sign, d), k.tiny)) == 15) continue;
        _mm_store_ps(hmap + i, morph4(h, t, d, k));
    }
}

void morphHmap(float dt, float* out) {
    MorphConsts k = morph_consts(dt);
    for (int i = 0; i < HMAP_CELLS; i += 4) {
        __m128 h = _mm_load_ps(hmap + i);
        __m128 t = _mm_load_ps(target_hmap + i);
        _mm_storeu_ps(out + i, morph4(h, t, _mm_sub_ps(t, h), k));
    }
}

} // namespace HeightmapData
