// The kinds of game object the rules tell apart: missiles fly until they hit something,
// monsters can be hurt and drop mana when they die, static objects stand on the land.

constexpr uint32_t OBJ_GAME_ACTOR = 1u << 8; // everything but the player

class GameActor : public Actor {
  public:
    GameActor() { flags |= OBJ_GAME_ACTOR; }
    const char* className() override { return "GameActor"; }
    // A plain stand-in shape, drawn until the instanced meshes take over.
    virtual void drawShape() {}
    virtual float shadowRadius() { return 0.0f; }
    void renderShadow() override {
        if (float r = shadowRadius(); r > 0.0f) render_shadow_ball(pos, r);
    }
};

class Monster;

class Missile : public GameActor {
  public:
    vec4f vel = make4f(0.0f);
    float age = 0.0f;
    float max_age = 5.0f;
    float gravity = 0.0f;
    float radius = 0.4f;
    bool hits_water = true;    // stops on the water surface, not only on the ground
    bool hits_monsters = true; // land-shaping missiles fly past monsters
    uint32_t color = 0xFFFFFFFFu;

    const char* className() override { return "Missile"; }
    void launch(const vec4f& from, const vec4f& v) {
        pos = make4f(wrap_coord(from.x), from.y, wrap_coord(from.z), 1.0f);
        vel = v;
    }
    void update(float dt) override;
    // Where it ended: on the land or water at `at`, or on `hit`. Must destroy the missile.
    virtual void impact(const vec4f& at, Monster* hit) { destroy(); }
    virtual void flightFx() {} // every step in the air
    void drawShape() override { draw_debug_vis_cube(pos, radius, color); }
    float shadowRadius() override { return radius; }
};

class Monster : public GameActor {
  public:
    vec4f vel = make4f(0.0f);
    float health = 1.0f;
    float radius = 1.0f;
    float think = 0.0f;        // seconds to the next decision
    float attack_timer = 0.0f; // seconds to the next attack

    const char* className() override { return "Monster"; }
    // Fatal damage kills at once: drops mana, counts, and destroys.
    void damage(float amount) {
        if (isDestroyed() || health <= 0.0f) return;
        health -= amount;
        if (health <= 0.0f) die();
    }
    virtual void die();
    virtual int manaDrop() { return 5; }
    virtual int manaBalls() { return 1; }
    // Moves by vel, wrapped, and files the new position in the grid.
    void advance(float dt) {
        pos = make4f(wrap_coord(pos.x + vel.x * dt), pos.y + vel.y * dt,
                     wrap_coord(pos.z + vel.z * dt), 1.0f);
        place_in_grid(this, pos, radius);
    }
    float shadowRadius() override { return radius; }
};

class StaticObject : public GameActor {
  public:
    float health = 100.0f;
    float radius = 1.0f;
    const char* className() override { return "StaticObject"; }
    void settle() { place_in_grid(this, pos, radius); }
};

// Whether the segment from a to b passes within r of c (wrapped).
inline bool segment_hits(const vec4f& a, const vec4f& b, const vec4f& c, float r) {
    vec4f ab = wrapped_offset(a, b), ac = wrapped_offset(a, c);
    float len2 = ab.x * ab.x + ab.y * ab.y + ab.z * ab.z;
    float t = len2 > 0.0f ? (ac.x * ab.x + ac.y * ab.y + ac.z * ab.z) / len2 : 0.0f;
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    float dx = ac.x - ab.x * t, dy = ac.y - ab.y * t, dz = ac.z - ab.z * t;
    return dx * dx + dy * dy + dz * dz < r * r;
}

void Missile::update(float dt) {
    age += dt;
    if (age > max_age) {
        destroy();
        return;
    }
    vel.y -= gravity * dt;
    vec4f from = pos;
    pos = make4f(wrap_coord(pos.x + vel.x * dt), pos.y + vel.y * dt, wrap_coord(pos.z + vel.z * dt),
                 1.0f);
    if (hits_monsters) {
        Monster* hit = nullptr;
        float reach = len3(vel) * dt + radius + 3.0f;
        for_each_near(pos.x, pos.z, reach, [&](Actor* a) {
            if (hit) return;
            auto* m = dynamic_cast<Monster*>(a);
            if (m && segment_hits(from, pos, m->pos, radius + m->radius)) hit = m;
        });
        if (hit) {
            impact(pos, hit);
            return;
        }
    }
    float depth =
        _mm_cvtss_f32(HeightmapData::calcSquareDepth(pos.load(), GROUND_PROBE_RADIUS, hits_water));
    if (depth >= 0.0f) {
        vec4f at = pos;
        at.y += depth;
        impact(at, nullptr);
        return;
    }
    flightFx();
}
