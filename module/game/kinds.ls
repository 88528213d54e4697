// The kinds of game object the rules tell apart: missiles fly until they hit something,
// monsters can be hurt and drop mana when they die, static objects stand on the land.

constexpr uint32_t OBJ_GAME_ACTOR = 1u << 8; // everything but the player

vec4f player_position();
vec4f calc_land_norm(float x, float z);

// The copy of p nearest the eye: the land is drawn around it, and so are the objects.
inline vec4f near_eye(const vec4f& p) {
    vec4f eye = player_position();
    return make4f(eye.x + wrap_delta(p.x - eye.x), p.y, eye.z + wrap_delta(p.z - eye.z), 1.0f);
}

inline vec4f cross3(const vec4f& a, const vec4f& b) {
    return make4f(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f);
}

// A mesh's frame in the world: its +z along fwd, +y as near up as fwd allows.
struct ObjFrame {
    vec4f x, y, z;
};
inline ObjFrame object_frame(const vec4f& fwd, const vec4f& up = make4f(0.0f, 1.0f, 0.0f, 0.0f)) {
    ObjFrame f;
    f.z = norm3(make4f(fwd.x, fwd.y, fwd.z, 0.0f));
    vec4f side = cross3(up, f.z);
    // Straight up or down: any side will do, but the same one every frame.
    f.x = len3(side) > 1e-4f ? norm3(side) : make4f(1.0f, 0.0f, 0.0f, 0.0f);
    f.y = cross3(f.z, f.x);
    return f;
}
// Standing on the land: +y along the ground's normal, +z towards fwd as far as it allows.
inline ObjFrame upright_frame(const vec4f& up, const vec4f& fwd) {
    ObjFrame f;
    f.y = norm3(up);
    vec4f side = cross3(f.y, fwd);
    f.x = len3(side) > 1e-4f ? norm3(side) : make4f(1.0f, 0.0f, 0.0f, 0.0f);
    f.z = cross3(f.x, f.y);
    return f;
}

inline SimpleInstance simple_instance(const ObjFrame& f, const vec4f& at, float scale,
                                      uint32_t tint = 0xFF808080u) {
    SimpleInstance s;
    s.row[0] = pack_inst_row(f.x.x, f.x.y, f.x.z, scale);
    s.row[1] = pack_inst_row(f.y.x, f.y.y, f.y.z, scale);
    s.row[2] = pack_inst_row(f.z.x, f.z.y, f.z.z, scale);
    s.pos[0] = at.x;
    s.pos[1] = at.y;
    s.pos[2] = at.z;
    s.color = tint;
    return s;
}

// The same placement as a row-vector matrix, for the mesh's shadow balls.
inline Matrix44 frame_tm(const ObjFrame& f, const vec4f& at, float scale) {
    Matrix44 m;
    const vec4f* axes[3] = {&f.x, &f.y, &f.z};
    for (int i = 0; i < 3; ++i)
        m.m[i][0] = axes[i]->x * scale, m.m[i][1] = axes[i]->y * scale,
        m.m[i][2] = axes[i]->z * scale, m.m[i][3] = 0.0f;
    m.m[3][0] = at.x, m.m[3][1] = at.y, m.m[3][2] = at.z, m.m[3][3] = 1.0f;
    return m;
}

inline uint32_t unit_byte(float v) {
    v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    return uint32_t(v * 255.0f + 0.5f);
}

class GameActor : public Actor {
  public:
    GameActor() { flags |= OBJ_GAME_ACTOR; }
    const char* className() override { return "GameActor"; }
    // Debug lines and boxes, drawn after the scene; none by default, an aid while a class
    // has no mesh or effect yet.
    virtual void drawShape() {}
    // Instances for the mesh renderers, placed at `at` (the copy nearest the eye).
    virtual void drawMesh(const vec4f& at) {}
    virtual float shadowRadius() { return 0.0f; }
    // Meshes cast their own shadow balls; the rest a ball of shadowRadius.
    virtual void castShadow(const vec4f& at) {
        if (float r = shadowRadius(); r > 0.0f) render_shadow_ball(at, r);
    }
    void render(float) override { drawMesh(near_eye(pos)); }
    void renderShadow() override { castShadow(near_eye(pos)); }
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
    uint32_t color = 0xFFFFFFFFu; // of its glow, for the missiles drawn as magic

    const char* className() override { return "Missile"; }
    void launch(const vec4f& from, const vec4f& v) {
        pos = make4f(wrap_coord(from.x), from.y, wrap_coord(from.z), 1.0f);
        vel = v;
    }
    void update(float dt) override;
    // Where it ended: on the land or water at `at`, or on `hit`. Must destroy the missile.
    virtual void impact(const vec4f& at, Monster* hit) { destroy(); }
    virtual void flightFx() {} // every step in the air
    // Its flight effect is what a player sees of it.
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
