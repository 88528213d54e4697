// Monsters and what they leave: wyverns hunt the wizard and the castles, birds flock and
// peck, mana gatherers walk the land collecting mana balls; everything killed drops mana.

class ManaBall : public GameActor {
  public:
    GAME_CLASS(ManaBall, &Actor_list)
    vec4f vel = make4f(0.0f);
    float value = 5.0f;
    float age = 0.0f;

    static constexpr float LIFE = 90.0f;
    static constexpr float HOVER = 1.2f;

    void update(float dt) override {
        age += dt;
        if (age > LIFE) {
            destroy();
            return;
        }
        vel.y -= 9.0f * dt;
        pos = make4f(wrap_coord(pos.x + vel.x * dt), pos.y + vel.y * dt,
                     wrap_coord(pos.z + vel.z * dt), 1.0f);
        float rest = surface_height(pos.x, pos.z) + HOVER;
        if (pos.y < rest) {
            pos.y = rest;
            vel = make4f(vel.x * 0.5f, 0.0f, vel.z * 0.5f, 0.0f);
        }
        place_in_grid(this, pos, 0.5f);
    }
    void drawShape() override {
        float bob = 0.25f * sinf(age * 3.0f);
        draw_debug_vis_cube(add4(pos, make4f(0.0f, bob, 0.0f, 0.0f)), 0.35f, 0xFF40E0FFu);
    }
    float shadowRadius() override { return 0.35f; }
};

ManaBall* drop_mana(const vec4f& at, float value) {
    ManaBall* b = spawn<ManaBall>();
    b->pos = make4f(wrap_coord(at.x), at.y, wrap_coord(at.z), 1.0f);
    b->vel = make4f(rnd_range(-2.0f, 2.0f), rnd_range(2.0f, 5.0f), rnd_range(-2.0f, 2.0f), 0.0f);
    b->value = value;
    place_in_grid(b, b->pos, 0.5f);
    return b;
}

void Monster::die() {
    health = 0.0f;
    WizardState& w = wizard();
    ++w.monsters_slain;
    debug("monster died: %s at %.1f %.1f", className(), pos.x, pos.z);
    int balls = manaBalls();
    for (int i = 0; i < balls; ++i) drop_mana(pos, float(manaDrop()));
    destroy();
}

// Steers vel towards a wanted velocity with a turn rate (per second).
inline void steer(vec4f& vel, const vec4f& want, float rate, float dt) {
    float k = fminf(1.0f, rate * dt);
    vel = make4f(vel.x + (want.x - vel.x) * k, vel.y + (want.y - vel.y) * k,
                 vel.z + (want.z - vel.z) * k, 0.0f);
}

class CastleObject;

constexpr float WYVERN_SPEED = 11.0f;
constexpr float WYVERN_SIGHT = 70.0f;
constexpr int WYVERN_BODY = 8;

class WyvernMonster : public Monster {
  public:
    GAME_CLASS(WyvernMonster, &Actor_list)
    enum { HUNT_NONE, HUNT_PLAYER, HUNT_CASTLE };
    vec4f goal = make4f(0.0f);
    int hunting = HUNT_NONE;
    vec4f body[WYVERN_BODY] = {}; // past positions: the spline of the body, head first
    float body_timer = 0.0f;

    WyvernMonster() {
        health = 60.0f;
        radius = 1.6f;
    }
    int manaDrop() override { return 15; }
    int manaBalls() override { return 3; }
    void die() override {
        wyvern_death_fx(this);
        WizardState& w = wizard();
        ++w.wyverns_slain;
        game_message("Wyvern slain (%d/%d)", w.wyverns_slain, GOAL_WYVERNS);
        Monster::die();
    }

    void update(float dt) override;
    void drawShape() override {
        draw_debug_vis_cube(pos, radius * 0.7f, 0xFF7A2A20u);
        for (int i = 1; i < WYVERN_BODY; i += 2) {
            vec4f b = add4(pos, wrapped_offset(pos, body[i]));
            draw_debug_vis_cube(b, radius * (0.6f - 0.06f * float(i)), 0xFF5A3A28u);
        }
    }
};

constexpr float BIRD_SPEED = 9.0f;
constexpr float BIRD_SIGHT = 16.0f;

class BirdMonster : public Monster {
  public:
    GAME_CLASS(BirdMonster, &Actor_list)
    vec4f home = make4f(0.0f); // the flock's roaming centre
    int flock = 0;
    float wing = 0.0f;

    BirdMonster() {
        health = 6.0f;
        radius = 0.6f;
    }
    int manaDrop() override { return 6; }
    void update(float dt) override;
    void drawShape() override { draw_debug_vis_cube(pos, 0.4f, 0xFF303030u); }
};

constexpr float GATHERER_SPEED = 3.0f;

class ManaGatherer : public Monster {
  public:
    GAME_CLASS(ManaGatherer, &Actor_list)
    float heading = 0.0f;
    float carried = 0.0f;
    vec4f goal = make4f(0.0f);
    bool has_goal = false;

    ManaGatherer() {
        health = 25.0f;
        radius = 1.0f;
    }
    // What it gathered comes back out, with a little extra.
    int manaBalls() override { return 1 + int(carried / 10.0f); }
    int manaDrop() override { return int(carried / float(manaBalls())) + 8; }
    void update(float dt) override;
    void drawShape() override {
        draw_debug_vis_cube(pos, 0.8f, 0xFF2F8F3Fu);
        if (carried > 0.0f)
            draw_debug_vis_cube(add4(pos, make4f(0.0f, 1.1f, 0.0f, 0.0f)), 0.3f, 0xFF40E0FFu);
    }
};

class Stone1StaticObject : public StaticObject {
  public:
    GAME_CLASS(Stone1StaticObject, &Actor_list)
    float scale = 1.0f;
    // Stones ride the land as spells reshape it.
    void update(float) override { pos.y = ground_height(pos.x, pos.z); }
    void drawShape() override {
        vec4f a = add4(pos, make4f(-scale, -scale * 0.3f, -scale, 0.0f));
        vec4f b = add4(pos, make4f(scale, scale * 0.7f, scale, 0.0f));
        draw_debug_vis_solid_box(a, b, 0xFF807A70u, 0.0f);
    }
};

// ---------------------------------------------------------------- behaviour

void BirdMonster::update(float dt) {
    wing += dt;
    attack_timer -= dt;
    vec4f player = player_position();
    bool attacking = ground_dist2(pos, player) < BIRD_SIGHT * BIRD_SIGHT && local_player;
    vec4f target = attacking ? player : home;

    // The flock: keep near its birds, fly their way, and not into them.
    vec4f centre = make4f(0.0f), heading = make4f(0.0f), apart = make4f(0.0f);
    int n = 0;
    for_each_near(pos.x, pos.z, 6.0f, [&](Actor* a) {
        auto* b = dynamic_cast<BirdMonster*>(a);
        if (!b || b == this || b->flock != flock) return;
        vec4f d = wrapped_offset(pos, b->pos);
        float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
        if (d2 > 36.0f) return;
        centre = add4(centre, d);
        heading = add4(heading, b->vel);
        if (d2 < 2.25f) apart = add4(apart, d, -1.0f / (d2 + 0.1f));
        ++n;
    });
    vec4f want =
        norm3(wrapped_offset(pos, add4(target, make4f(0.0f, attacking ? 0.0f : 6.0f, 0.0f, 0.0f))));
    want = make4f(want.x * BIRD_SPEED, want.y * BIRD_SPEED, want.z * BIRD_SPEED, 0.0f);
    if (n) {
        float k = 1.0f / float(n);
        want = add4(want, centre, 0.4f * k);
        want = add4(want, heading, 0.3f * k);
        want = add4(want, apart, 3.0f);
    }
    steer(vel, want, 2.5f, dt);
    float floor = surface_height(pos.x, pos.z) + 2.0f;
    if (pos.y < floor) {
        pos.y = floor;
        vel.y = fmaxf(vel.y, 1.0f);
    }
    if (attacking && attack_timer <= 0.0f && dist3(pos, player) < 2.0f) {
        attack_timer = 2.0f;
        hurt_player(3.0f, "a bird");
        vel = make4f(-vel.x, 6.0f, -vel.z, 0.0f); // peck and flee
    }
    advance(dt);
}

void ManaGatherer::update(float dt) {
    think -= dt;
    if (think <= 0.0f) {
        think = 1.0f;
        has_goal = false;
        if (ManaBall* b = nearest_near<ManaBall>(pos, 25.0f)) {
            goal = b->pos;
            has_goal = true;
        } else {
            heading += rnd_range(-0.8f, 0.8f);
        }
    }
    if (has_goal) {
        vec4f d = wrapped_offset(pos, goal);
        heading = atan2f(d.z, d.x);
    }
    float sx = cosf(heading), sz = sinf(heading);
    float nx = pos.x + sx * GATHERER_SPEED * dt, nz = pos.z + sz * GATHERER_SPEED * dt;
    if (water_depth_at(nx, nz) > 0.6f) {
        heading += 3.14159265f; // walkers keep out of deep water
        has_goal = false;
    } else {
        vel = make4f(sx * GATHERER_SPEED, 0.0f, sz * GATHERER_SPEED, 0.0f);
        pos.x = wrap_coord(nx);
        pos.z = wrap_coord(nz);
    }
    pos.y = ground_height(pos.x, pos.z) + 0.8f;
    place_in_grid(this, pos, radius);
    for_each_near(pos.x, pos.z, 2.0f, [&](Actor* a) {
        auto* b = dynamic_cast<ManaBall*>(a);
        if (b && dist3(pos, b->pos) < 2.0f) {
            carried += b->value;
            b->destroy();
            has_goal = false;
        }
    });
}
