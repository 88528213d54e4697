// The common effects: blend and glow particle pools and ribbon trails. Spawned by the
// game-object module and the effect script, stepped with the simulation, drawn after
// the opaque scene into two targets and composited onto the scene image.
#pragma once

#include "core/ramp.h"
#include "core/vec4f.h"
#include "platform/dyn_array.h"
#include "platform/game_export.h"
#include "render/d3d_types.h"

#include <cstdint>

enum { MAX_TRAILS = 4000, TRAIL_POINTS = 16, FX_RESERVE_PARTICLES = 10000 };
constexpr float FX_STEP = 0.05f; // the simulation step particles are spawned ahead by
constexpr float FX_ATLAS_W = 512.0f, FX_ATLAS_H = 256.0f;

struct alignas(16) Particle {
    vec4f pos;
    vec4f vel; // w: drag per second
    vec4f acc;
    vec4f prev; // one step earlier, for interpolation
    float life; // <= 0: free record (-1 once dead)
    float age;  // starts at -delay; a free record keeps the next free index here
    float size;
    D3dColor color;
    float mapU, mapV, mapHalf; // atlas centre (0..1) and half size in atlas pixels
    float startRoll, rollScale;
    const ColorRamp* colorAnim;
    const FloatRamp* sizeAnim;
    const FloatRamp* rollAnim;
};

struct ParticlePool {
    DynArray<Particle> parts;
    int freeHead = -1;
};

struct alignas(16) TrailPoint {
    vec4f pos;
    vec4f prev;
    vec4f side; // half the ribbon's width and direction
    vec4f vel;
    D3dColor color;
};

struct Trail {
    TrailPoint pts[TRAIL_POINTS];
    int count; // points in use; alive while > 0
    int head;  // ring index of the newest point
    int nextFree;
    float width; // half size of the head sprite
    D3dColor color;
    uint8_t stopped;

    bool isAlive() const { return count > 0; }
};

extern ParticlePool blend_particles, glow_particles;
extern Trail fx_trails[MAX_TRAILS];
extern int fx_trail_free_head; // trails given back, linked through nextFree; -1: none
extern int fx_trails_used;     // trails [0, used) were handed out since the reset
extern int fx_reset_count;     // grows with every reset_common_fx, so holders of trails can tell
// False once a step left nothing alive and nothing was spawned since: frames skip the passes.
extern bool fx_anything_alive;

// The free-list link kept in a free record's age word.
int particle_next_free(const Particle& p);

// Spawning and trails: what the module and the effect script call.
GAME_EXPORT void add_blend_particle(const vec4f& pos, const vec4f& vel, const vec4f& accel,
                                    float life, float delay, float size, D3dColor color, float mapU,
                                    float mapV, float mapSize, float startRoll, float rollScale,
                                    const ColorRamp* colorAnim, const FloatRamp* sizeAnim,
                                    const FloatRamp* rollAnim);
GAME_EXPORT void add_glow_particle(const vec4f& pos, const vec4f& vel, const vec4f& accel,
                                   float life, float delay, float size, D3dColor color, float mapU,
                                   float mapV, float mapSize, float startRoll, float rollScale,
                                   const ColorRamp* colorAnim, const FloatRamp* sizeAnim,
                                   const FloatRamp* rollAnim);
GAME_EXPORT int add_trail_fx(const vec4f& pos, const vec4f& vel, const vec4f& side, float width,
                             D3dColor color); // -1 when every trail is in use
GAME_EXPORT void add_trail_point(int index, const vec4f& pos, const vec4f& vel, const vec4f& side);
GAME_EXPORT void set_trail_color(int index, D3dColor color);
GAME_EXPORT void stop_trail_fx(int index); // shrinks by a point per step, then frees itself
GAME_EXPORT void kill_trail_fx(int index);

// One simulation step of every particle and trail.
void update_common_fx(float dt);
// Empties every pool (start, world generation, effect-script reload).
void reset_common_fx();
extern void (*fx_reset_hook)(); // run by reset_common_fx (the effect script's ramp references)

// Drawing (fx_render.cpp). elapsed: time since the last step; fraction: elapsed / step.
void init_common_fx(); // resets, loads the atlases and shaders, creates the buffers
void close_common_fx();
void render_common_fx(float elapsed, float fraction);

// The per-frame instance data, for the renderer and its benchmark: writes the records of
// the live particles of a pool around the camera and returns how many were written.
// Stops early when `max` records are written; *next is the index to continue from.
int write_particle_instances(const ParticlePool& pool, int first, int* next, uint8_t* out, int max,
                             float elapsed, float fraction, const vec4f& cam);
// Trail vertices (24 bytes each) of one trail; returns the vertex count (0: nothing).
enum { TRAIL_MAX_VERTS = 6 * TRAIL_POINTS };
int write_trail_vertices(const Trail& tr, uint8_t* out, float fraction, const vec4f& cam,
                         const Matrix44& view_itm);
