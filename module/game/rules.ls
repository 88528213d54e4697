// The rules every game object shares: the spells and their prices, the wizard's state,
// wrapped distances on the 256-unit world, ground heights and proximity look-ups.
#include "game/game_mode.h"
#include "game/settings.h"
#include "scene/heightmap_renderer.h"
#include "world/world_gen_script.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

enum SpellId {
    SPELL_FIREBALL,
    SPELL_WATERBALL,
    SPELL_FAULT,
    SPELL_HOUSE,
    SPELL_METEOR,
    SPELL_HILL,
    SPELL_PIT,
    SPELL_WATER_SOURCE,
    SPELL_WATER_SINK,
    SPELL_CASTLE,
    SPELL_USE_PORTAL,
    SPELL_COUNT
};

struct SpellInfo {
    const char* name;  // in the log and on the HUD
    const char* title; // for the player
    int cost;          // mana
    float cooldown;    // seconds before the next cast
    float speed;       // of its missile
    uint32_t color;    // its tint on screen, 0xAARRGGBB
};

constexpr SpellInfo spell_info[SPELL_COUNT] = {
    {"fireball", "Fireball", 8, 0.3f, 45.0f, 0xFFE0642Au},
    {"water-ball", "Water ball", 10, 0.4f, 35.0f, 0xFF3E8EDCu},
    {"fault", "Fault", 25, 0.8f, 40.0f, 0xFF9C7A52u},
    {"house", "House", 20, 0.8f, 35.0f, 0xFFC8A46Eu},
    {"meteor", "Meteor", 45, 1.5f, 0.0f, 0xFFD8442Eu},
    {"hill", "Hill", 15, 0.5f, 40.0f, 0xFF6FA04Au},
    {"pit", "Pit", 15, 0.5f, 40.0f, 0xFF7A6650u},
    {"water-source", "Water source", 30, 1.0f, 35.0f, 0xFF4AB4D0u},
    {"water-sink", "Water sink", 30, 1.0f, 35.0f, 0xFF3A5C9Cu},
    {"castle", "Castle", 60, 2.0f, 0.0f, 0xFFB8B4ACu},
    {"use-portal", "Use portal", 0, 1.0f, 0.0f, 0xFFA060D8u},
};

constexpr float MANA_START = 100.0f;
constexpr float MANA_MAX = 250.0f;
constexpr float MANA_REGEN = 1.0f; // per second, so nobody is ever stuck without mana
constexpr float PLAYER_HEALTH = 100.0f;
constexpr float PLAYER_REACH = 3.0f;  // mana balls within this are picked up
constexpr float CAST_REACH = 90.0f;   // castles and meteors land on what is aimed at
constexpr float PORTAL_REACH = 14.0f; // use-portal works this close to the portal
constexpr int GOAL_CASTLES = 3;       // standing at once
constexpr int GOAL_WYVERNS = 5;       // slain in this world
constexpr float GROUND_PROBE_RADIUS = 0.3f;

// The wizard's side of the game. It lives in the player object so that it survives a
// module rebuild like every other live object.
struct WizardState {
    float mana = MANA_START;
    float health = PLAYER_HEALTH;
    int button_spell[2] = {SPELL_FIREBALL, SPELL_WATERBALL}; // left, right mouse button
    float cooldown = 0.0f;
    vec4f aim = make4f(0.0f, 0.0f, 1.0f, 0.0f); // where the view looks
    int wyverns_slain = 0;                      // in this world
    int monsters_slain = 0;                     // in all worlds
    int worlds_completed = 0;
    bool portal_opened = false;
    int casts[SPELL_COUNT] = {};
    // Monster waves.
    float wyvern_timer = 4.0f, flock_timer = 2.0f, gatherer_timer = 1.0f;
    // The demo autopilot.
    float demo_time = 0.0f, demo_cast_timer = 1.0f, demo_heading = 0.0f;
    int demo_step = 0;
    bool demo_started = false;
};

bool monster_spawn = true;
bool mana_cheat = false;

WizardState& wizard();   // of the local player; a spare one without a player
vec4f player_position(); // (128, 20, 128) without a player
void hurt_player(float amount, const char* by);

// The module's named functions, defined further on.
void add_source_water(float x, float z, float amount);
void add_water_source(float x, float z, float rate);
void apply_fireball(vec4f pos, float radius);
void add_water_globe(vec4f pos, float amount);
void create_hill(float x, float z, float radius, float height);
void spawn_fireball_fx(BaseObject* obj);
void fireball_explode_fx(vec4f pos);
void spawn_waterball_missile_fx(BaseObject* obj);
void spawn_magic_missile_fx(BaseObject* obj);
void spawn_water_source_fx(BaseObject* obj);
void spawn_water_sink_fx(BaseObject* obj);
void spawn_meteor_fx(BaseObject* obj);
void meteor_explode_fx(vec4f pos);
void wyvern_death_fx(BaseObject* obj);
void castle_smoke_fx(vec4f pos, float damage);
void mana_ball_fx(vec4f pos, float value);
void portal_fx(vec4f pos, vec4f facing, float radius);
void mana_pickup_fx(vec4f pos, vec4f to, float amount);
void init_fx_data();

// ---------------------------------------------------------------- messages

struct GameMessage {
    char text[96];
    float age;
};
constexpr int MESSAGE_COUNT = 5;
constexpr float MESSAGE_LIFE = 4.0f;
GameMessage game_messages[MESSAGE_COUNT] = {};
int game_message_count = 0;

// A short line on the HUD (and in the log, so demo runs can be checked).
__attribute__((format(printf, 1, 2))) void game_message(const char* fmt, ...) {
    if (game_message_count == MESSAGE_COUNT) {
        for (int i = 1; i < MESSAGE_COUNT; ++i) game_messages[i - 1] = game_messages[i];
        --game_message_count;
    }
    GameMessage& m = game_messages[game_message_count++];
    va_list args;
    va_start(args, fmt);
    vsnprintf(m.text, sizeof(m.text), fmt, args);
    va_end(args);
    m.age = 0.0f;
    debug("message: %s", m.text);
}

void age_game_messages(float dt) {
    int kept = 0;
    for (int i = 0; i < game_message_count; ++i) {
        game_messages[i].age += dt;
        if (game_messages[i].age < MESSAGE_LIFE) game_messages[kept++] = game_messages[i];
    }
    game_message_count = kept;
}

// ---------------------------------------------------------------- world geometry

inline float wrap_coord(float v) {
    v = fmodf(v, float(HMAP_SIZE));
    return v < 0.0f ? v + float(HMAP_SIZE) : v;
}

// The short way round: into [-128, 128).
inline float wrap_delta(float d) {
    d = fmodf(d + 128.0f, float(HMAP_SIZE));
    return (d < 0.0f ? d + float(HMAP_SIZE) : d) - 128.0f;
}

inline vec4f add4(const vec4f& a, const vec4f& b, float k = 1.0f) {
    return make4f(a.x + b.x * k, a.y + b.y * k, a.z + b.z * k, a.w);
}

inline float len3(const vec4f& v) {
    return sqrtf(v.x * v.x + v.y * v.y + v.z * v.z);
}

inline vec4f norm3(const vec4f& v) {
    float l = len3(v);
    return l > 1e-6f ? make4f(v.x / l, v.y / l, v.z / l, 0.0f) : make4f(0.0f, 0.0f, 1.0f, 0.0f);
}

// From a to b, wrapped on the two ground axes.
inline vec4f wrapped_offset(const vec4f& a, const vec4f& b) {
    return make4f(wrap_delta(b.x - a.x), b.y - a.y, wrap_delta(b.z - a.z), 0.0f);
}

inline float ground_dist2(const vec4f& a, const vec4f& b) {
    float dx = wrap_delta(b.x - a.x), dz = wrap_delta(b.z - a.z);
    return dx * dx + dz * dz;
}

inline float dist3(const vec4f& a, const vec4f& b) {
    return len3(wrapped_offset(a, b));
}

// Bilinear height of an array laid out like hmap; with_water adds the water depth.
float height_at(const float* heights, float x, float z, bool with_water) {
    float fx = floorf(x), fz = floorf(z);
    int ix = int(fx), iz = int(fz);
    float tx = x - fx, tz = z - fz;
    float h[4];
    for (int k = 0; k < 4; ++k) {
        int cx = ix + (k & 1), cz = iz + (k >> 1);
        h[k] = heights[hm_index(cx, cz)];
        if (with_water) h[k] += HeightmapData::waterAt(cx, cz).depth;
    }
    return (h[0] * (1.0f - tx) + h[1] * tx) * (1.0f - tz) + (h[2] * (1.0f - tx) + h[3] * tx) * tz;
}

inline float ground_height(float x, float z) {
    return height_at(HeightmapData::hmap, x, z, false);
}
inline float surface_height(float x, float z) {
    return height_at(HeightmapData::hmap, x, z, true);
}
inline float water_depth_at(float x, float z) {
    return HeightmapData::waterAt(int(floorf(x + 0.5f)), int(floorf(z + 0.5f))).depth;
}

// Sums of target land and water around a point: what an impact changed there.
struct LandProbe {
    static constexpr int R = 12;
    double land = 0.0, water = 0.0;

    LandProbe(float x, float z) {
        int cx = int(floorf(x)), cz = int(floorf(z));
        for (int dz = -R; dz <= R; ++dz)
            for (int dx = -R; dx <= R; ++dx) {
                land += HeightmapData::target_hmap[hm_index(cx + dx, cz + dz)];
                water += HeightmapData::waterAt(cx + dx, cz + dz).depth;
            }
    }
};

// ---------------------------------------------------------------- proximity

inline void place_in_grid(BaseObject* obj, const vec4f& pos, float radius) {
    float bounds[4] = {pos.x - radius, pos.z - radius, pos.x + radius, pos.z + radius};
    update_proximity(obj, bounds);
}

// Calls f(Actor*) for every live object whose grid bin touches the square around (x, z);
// callers test real distances. Nested look-ups get their own query.
template <typename F>
void for_each_near(float x, float z, float radius, F&& f) {
    static ProximityQuery queries[4];
    static int depth = 0;
    if (depth == 4) return;
    ProximityQuery& q = queries[depth++];
    float rect[4] = {x - radius, z - radius, x + radius, z + radius};
    q.proximityQuery(rect, false);
    while (BaseObject* obj = q.next())
        if (!obj->isDestroyed()) f(static_cast<Actor*>(obj));
    --depth;
}

// The nearest live object of class T within radius (ground distance), or null.
template <typename T>
T* nearest_near(const vec4f& pos, float radius) {
    T* best = nullptr;
    float best_d2 = radius * radius;
    for_each_near(pos.x, pos.z, radius, [&](Actor* a) {
        T* t = dynamic_cast<T*>(a);
        if (!t) return;
        float d2 = ground_dist2(pos, a->pos);
        if (d2 < best_d2) {
            best_d2 = d2;
            best = t;
        }
    });
    return best;
}

inline float rnd_range(float lo, float hi) {
    return lo + (hi - lo) * rnd_float();
}

inline bool spell_changes_land(int id) {
    return id == SPELL_FIREBALL || id == SPELL_FAULT || id == SPELL_HOUSE || id == SPELL_METEOR ||
           id == SPELL_HILL || id == SPELL_PIT || id == SPELL_CASTLE;
}
