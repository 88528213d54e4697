#include "fx/particles.h"

#include "platform/log.h"

#include <cmath>
#include <cstring>

ParticlePool blend_particles, glow_particles;
Trail fx_trails[MAX_TRAILS];
int fx_trail_free_head = -1;
int fx_trails_used = 0;
int fx_reset_count = 0;
bool fx_anything_alive = false;
void (*fx_reset_hook)() = nullptr;

namespace {
void set_next_free(Particle& p, int next) {
    memcpy(&p.age, &next, sizeof(int));
}

// Semi-implicit Euler with linear drag (velocity.w); the position's w lane is kept.
inline void advance(Particle& p, float t) {
    p.prev = p.pos;
    const __m128 xyz = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
    const __m128 tt = _mm_set1_ps(t);
    __m128 v = p.vel.load();
    const __m128 drag = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3));
    const __m128 slow = _mm_and_ps(_mm_mul_ps(_mm_mul_ps(v, drag), tt), xyz);
    v = _mm_sub_ps(_mm_add_ps(v, _mm_mul_ps(p.acc.load(), tt)), slow);
    p.vel.store(v);
    p.pos.store(_mm_add_ps(p.pos.load(), _mm_and_ps(_mm_mul_ps(v, tt), xyz)));
}

void add_particle(ParticlePool& pool, const vec4f& pos, const vec4f& vel, const vec4f& accel,
                  float life, float delay, float size, D3dColor color, float mapU, float mapV,
                  float mapSize, float startRoll, float rollScale, const ColorRamp* colorAnim,
                  const FloatRamp* sizeAnim, const FloatRamp* rollAnim) {
    fx_anything_alive = true;
    Particle* p;
    if (pool.freeHead >= 0) {
        p = &pool.parts[pool.freeHead];
        pool.freeHead = particle_next_free(*p);
    } else {
        p = &pool.parts.push_back(Particle{});
    }
    p->pos = p->prev = pos;
    p->vel = vel;
    p->acc = accel;
    p->life = life;
    p->age = -delay;
    p->size = size;
    p->color = color;
    p->mapU = (mapU + mapSize * 0.5f) / FX_ATLAS_W;
    p->mapV = (mapV + mapSize * 0.5f) / FX_ATLAS_H;
    p->mapHalf = mapSize * 0.5f;
    p->startRoll = startRoll;
    p->rollScale = rollScale;
    p->colorAnim = colorAnim;
    p->sizeAnim = sizeAnim;
    p->rollAnim = rollAnim;
    // Positions run one step ahead of the simulation; rendering interpolates back.
    if (p->age >= 0.0f) {
        advance(*p, FX_STEP);
        p->prev = pos;
    } else if (p->age + FX_STEP > 0.0f) {
        advance(*p, p->age + FX_STEP);
    }
    // A record that would never be drawn must still be freed: a life of 0 or NaN dies now.
    if (!(life > 0.0f)) {
        p->life = -1.0f;
        set_next_free(*p, pool.freeHead);
        pool.freeHead = int(p - pool.parts.items);
    }
}

// Returns whether any particle of the pool lives on.
bool update_pool(ParticlePool& pool, float dt) {
    Particle* parts = pool.parts.items;
    const int n = pool.parts.num;
    bool alive = false;
    for (int i = 0; i < n; ++i) {
        Particle& p = parts[i];
        if (!(p.life > 0.0f)) continue;
        p.age += dt;
        if (p.age >= p.life) {
            p.life = -1.0f;
            set_next_free(p, pool.freeHead);
            pool.freeHead = i;
            continue;
        }
        alive = true;
        if (p.age < 0.0f) {
            if (p.age + dt > 0.0f) advance(p, p.age + dt);
        } else {
            advance(p, dt);
        }
    }
    return alive;
}

void reset_pool(ParticlePool& pool) {
    pool.parts.num = 0;
    pool.parts.reserve(FX_RESERVE_PARTICLES);
    pool.freeHead = -1;
}

// d moved by whole multiples of 256 into (-128, 128].
inline float fold_offset(float d) {
    float r = d / 256.0f;
    r = (r - truncf(r)) * 256.0f;
    if (r > 128.0f) r -= 256.0f;
    if (r <= -128.0f) r += 256.0f;
    return r;
}

bool valid_trail(int index) {
    return unsigned(index) < unsigned(MAX_TRAILS);
}

void push_point(Trail& tr, const vec4f& p, const vec4f& vel, const vec4f& side) {
    const int old_head = tr.head;
    tr.head = (tr.head + TRAIL_POINTS - 1) % TRAIL_POINTS;
    TrailPoint& pt = tr.pts[tr.head];
    if (tr.count == 0) {
        tr.count = 1;
        pt.pos = pt.prev = p;
    } else {
        if (tr.count < TRAIL_POINTS) ++tr.count;
        const vec4f e = tr.pts[old_head].prev;
        pt.pos = make4f(e.x + fold_offset(p.x - e.x), p.y, e.z + fold_offset(p.z - e.z), p.w);
        pt.prev = e;
    }
    pt.side = side;
    pt.vel = vel;
    pt.color = tr.color;
}

void free_trail(int index) {
    Trail& tr = fx_trails[index];
    tr.count = 0;
    tr.head = 0;
    tr.stopped = 0;
    tr.nextFree = fx_trail_free_head;
    fx_trail_free_head = index;
}
} // namespace

int particle_next_free(const Particle& p) {
    int next;
    memcpy(&next, &p.age, sizeof(int));
    return next;
}

void add_blend_particle(const vec4f& pos, const vec4f& vel, const vec4f& accel, float life,
                        float delay, float size, D3dColor color, float mapU, float mapV,
                        float mapSize, float startRoll, float rollScale, const ColorRamp* colorAnim,
                        const FloatRamp* sizeAnim, const FloatRamp* rollAnim) {
    add_particle(blend_particles, pos, vel, accel, life, delay, size, color, mapU, mapV, mapSize,
                 startRoll, rollScale, colorAnim, sizeAnim, rollAnim);
}

void add_glow_particle(const vec4f& pos, const vec4f& vel, const vec4f& accel, float life,
                       float delay, float size, D3dColor color, float mapU, float mapV,
                       float mapSize, float startRoll, float rollScale, const ColorRamp* colorAnim,
                       const FloatRamp* sizeAnim, const FloatRamp* rollAnim) {
    add_particle(glow_particles, pos, vel, accel, life, delay, size, color, mapU, mapV, mapSize,
                 startRoll, rollScale, colorAnim, sizeAnim, rollAnim);
}

int add_trail_fx(const vec4f& pos, const vec4f& vel, const vec4f& side, float width,
                 D3dColor color) {
    int index = fx_trail_free_head;
    if (index >= 0)
        fx_trail_free_head = fx_trails[index].nextFree;
    else if (fx_trails_used < MAX_TRAILS)
        index = fx_trails_used++;
    else
        return -1;
    Trail& tr = fx_trails[index];
    ASSERT_TEXT(!tr.isAlive(), "!tr.isAlive()");
    tr.nextFree = -1;
    fx_anything_alive = true;
    tr.color = color;
    push_point(tr, pos, vel, side);
    tr.width = width;
    tr.stopped = 0;
    return index;
}

void add_trail_point(int index, const vec4f& pos, const vec4f& vel, const vec4f& side) {
    // A point on a free trail would make it alive while it sits on the free list.
    if (!valid_trail(index) || !fx_trails[index].isAlive()) return;
    push_point(fx_trails[index], pos, vel, side);
}

void set_trail_color(int index, D3dColor color) {
    if (!valid_trail(index)) return;
    fx_trails[index].color = color;
}

void stop_trail_fx(int index) {
    if (!valid_trail(index) || !fx_trails[index].isAlive()) return;
    fx_trails[index].stopped = 1;
}

void kill_trail_fx(int index) {
    if (!valid_trail(index) || !fx_trails[index].isAlive()) return;
    free_trail(index);
}

void update_common_fx(float dt) {
    bool alive = update_pool(blend_particles, dt);
    alive |= update_pool(glow_particles, dt);
    for (int i = 0; i < fx_trails_used; ++i) {
        Trail& tr = fx_trails[i];
        if (!tr.isAlive()) continue;
        if (tr.stopped) {
            // A stopped trail that has shrunk away goes back to the pool, or stopped
            // trails would use the pool up until the next world.
            if (--tr.count == 0) {
                free_trail(i);
                continue;
            }
        }
        alive = true;
        const vec4f h = tr.pts[tr.head].pos;
        const float sx = h.x - floorf(h.x / 256.0f) * 256.0f - h.x;
        const float sz = h.z - floorf(h.z / 256.0f) * 256.0f - h.z;
        const __m128 shift = _mm_setr_ps(sx, 0.0f, sz, 0.0f);
        const __m128 tt = _mm_setr_ps(dt, dt, dt, 0.0f);
        for (int k = 0, j = tr.head; k < tr.count; ++k, j = (j + 1) % TRAIL_POINTS) {
            TrailPoint& pt = tr.pts[j];
            const __m128 p = _mm_add_ps(pt.pos.load(), shift);
            pt.prev.store(p);
            pt.pos.store(_mm_add_ps(p, _mm_mul_ps(pt.vel.load(), tt)));
        }
    }
    fx_anything_alive = alive;
}

void reset_common_fx() {
    reset_pool(blend_particles);
    reset_pool(glow_particles);
    // Trails past the used ones are untouched since the last reset (or zero at load): 4000
    // trails span 5 MB that a start-up need not page in.
    for (int i = 0; i < fx_trails_used; ++i) {
        Trail& tr = fx_trails[i];
        tr.count = 0;
        tr.head = 0;
        tr.stopped = 0;
        tr.nextFree = -1;
    }
    fx_trail_free_head = -1;
    fx_trails_used = 0;
    fx_anything_alive = false;
    ++fx_reset_count;
    if (fx_reset_hook) fx_reset_hook();
}
