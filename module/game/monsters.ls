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
        mana_ball_fx(add4(pos, make4f(0.0f, 0.25f * sinf(age * 3.0f), 0.0f, 0.0f)), value);
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
    void drawMesh(const vec4f& at) override;
    void castShadow(const vec4f& at) override;

  private:
    static constexpr float HEAD_SCALE = 2.4f;
    static constexpr float TAIL_SCALE = 0.9f;
    // Thickest behind the shoulders, down to the tail's own root at the end.
    static float bodyRadius(float u) { return 0.36f + 0.3f * sinf(3.14159265f * u) - 0.09f * u; }
    // The trail of past positions as knots around `at`, head first.
    void bodyKnots(const vec4f& at, vec4f* k) const {
        k[0] = at;
        for (int i = 1; i < WYVERN_BODY; ++i) k[i] = add4(at, wrapped_offset(pos, body[i]));
    }
    vec4f headingDir(const vec4f* k) const {
        if (len3(vel) > 0.1f) return vel;
        return wrapped_offset(k[1], k[0]);
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
    static constexpr float MESH_SCALE = 1.6f;
    static constexpr float BEAT_RATE = 2.6f; // wing beats a second
    // Nose up as it climbs, down as it dives.
    ObjFrame frame() const { return object_frame(vel); }
    void drawMesh(const vec4f& at) override {
        MorphInstance b;
        b.base = simple_instance(frame(), at, MESH_SCALE);
        // Climbing birds beat hard, gliding ones barely.
        float climb = vel.y > 0.0f ? 1.0f : 0.5f;
        float phase = wing * BEAT_RATE - floorf(wing * BEAT_RATE);
        b.morph = unit_byte(0.35f) << 16 | unit_byte(phase) << 8 | unit_byte(0.65f * climb);
        bird_body_inst.addInstance(&b);
    }
    void castShadow(const vec4f& at) override {
        bird_body_inst.renderShadowBalls(frame_tm(frame(), at, MESH_SCALE), MESH_SCALE);
    }
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
    static constexpr float MESH_SCALE = 1.6f;
    static constexpr float HOVER = 0.8f; // pos is this far above the ground it walks on
    ObjFrame frame() const {
        return upright_frame(calc_land_norm(pos.x, pos.z),
                             make4f(cosf(heading), 0.0f, sinf(heading), 0.0f));
    }
    void drawMesh(const vec4f& at) override {
        ObjFrame f = frame();
        vec4f feet = add4(at, make4f(0.0f, -HOVER, 0.0f, 0.0f));
        float full = fminf(1.0f, carried / 40.0f);
        // A full shell sits low and glows bluer; each decision is one squeeze of its walk.
        uint32_t tint = 0xFF000000u | unit_byte(0.5f - 0.12f * full) << 16 | 0x8000u |
                        unit_byte(0.5f + 0.2f * full);
        MorphInstance b;
        b.base = simple_instance(f, feet, MESH_SCALE, tint);
        b.morph = unit_byte(0.15f + 0.4f * full) << 16 | unit_byte(think) << 8 | unit_byte(0.15f);
        gatherer_body_inst.addInstance(&b);
        vec4f eye = add4(add4(feet, f.y, 0.8f * MESH_SCALE), f.z, 0.5f * MESH_SCALE);
        SimpleInstance e = simple_instance(f, eye, MESH_SCALE * 1.2f);
        gatherer_eye_inst.addInstance(&e);
    }
    void castShadow(const vec4f& at) override {
        vec4f feet = add4(at, make4f(0.0f, -HOVER, 0.0f, 0.0f));
        gatherer_body_inst.renderShadowBalls(frame_tm(frame(), feet, MESH_SCALE), MESH_SCALE);
    }
};

class Stone1StaticObject : public StaticObject {
  public:
    GAME_CLASS(Stone1StaticObject, &Actor_list)
    float scale = 1.0f;
    // Stones ride the land as spells reshape it.
    void update(float) override { pos.y = ground_height(pos.x, pos.z); }
    // Each stone its own turn and a lean with the land, settled a little into it.
    ObjFrame frame() const {
        float h = sinf(pos.x * 12.9898f + pos.z * 78.233f) * 43758.5453f;
        float yaw = (h - floorf(h)) * 6.2831853f;
        return upright_frame(calc_land_norm(pos.x, pos.z),
                             make4f(cosf(yaw), 0.0f, sinf(yaw), 0.0f));
    }
    float meshScale() const { return scale * 1.7f; }
    vec4f base(const vec4f& at) const { return add4(at, make4f(0.0f, -0.15f * scale, 0.0f, 0.0f)); }
    void drawMesh(const vec4f& at) override {
        SimpleInstance s = simple_instance(frame(), base(at), meshScale());
        stone1_inst.addInstance(&s);
    }
    void castShadow(const vec4f& at) override {
        stone1_inst.renderShadowBalls(frame_tm(frame(), base(at), meshScale()), meshScale());
    }
};

// ---------------------------------------------------------------- wyvern meshes

// The head along its heading, the body a tube of Catmull-Rom pieces through the trail,
// and the tail going on from its end.
void WyvernMonster::drawMesh(const vec4f& at) {
    vec4f k[WYVERN_BODY];
    bodyKnots(at, k);
    SimpleInstance head = simple_instance(object_frame(headingDir(k)), at, HEAD_SCALE);
    wyvern_head_inst.addInstance(&head);

    const uint32_t up = pack_inst_row(0.0f, 1.0f, 0.0f, 8.0f);
    constexpr int SEGS = WYVERN_BODY - 1;
    auto tangent = [&](int i) {
        int a = i > 0 ? i - 1 : 0, b = i < SEGS ? i + 1 : SEGS;
        return make4f((k[b].x - k[a].x) * 0.5f, (k[b].y - k[a].y) * 0.5f, (k[b].z - k[a].z) * 0.5f,
                      0.0f);
    };
    auto* seg = static_cast<SplineInstance*>(wyvern_body_inst.addInstances(SEGS));
    for (int i = 0; i < SEGS; ++i) {
        vec4f p[4] = {k[i], add4(k[i], tangent(i), 1.0f / 3.0f),
                      add4(k[i + 1], tangent(i + 1), -1.0f / 3.0f), k[i + 1]};
        for (int j = 0; j < 4; ++j) {
            seg[i].p[j][0] = p[j].x;
            seg[i].p[j][1] = p[j].y;
            seg[i].p[j][2] = p[j].z;
        }
        seg[i].up[0] = seg[i].up[1] = up;
        float r0 = bodyRadius(float(i) / SEGS), r1 = bodyRadius(float(i + 1) / SEGS);
        seg[i].color[0] = 0xFF808080u;
        seg[i].color[1] = unit_byte(r0 / 8.0f) << 16 | unit_byte(r1 / 8.0f) << 8;
    }

    vec4f back = wrapped_offset(k[SEGS - 1], k[SEGS]);
    if (len3(back) < 1e-3f) { // a trail not laid yet: straight out behind the head
        vec4f fwd = headingDir(k);
        back = make4f(-fwd.x, -fwd.y, -fwd.z, 0.0f);
    }
    SimpleInstance tail = simple_instance(object_frame(back), k[SEGS], TAIL_SCALE);
    wyvern_tail_inst.addInstance(&tail);
}

void WyvernMonster::castShadow(const vec4f& at) {
    vec4f k[WYVERN_BODY];
    bodyKnots(at, k);
    wyvern_head_inst.renderShadowBalls(frame_tm(object_frame(headingDir(k)), at, HEAD_SCALE),
                                       HEAD_SCALE);
    for (int i = 2; i < WYVERN_BODY; i += 2)
        render_shadow_ball(k[i], bodyRadius(float(i) / float(WYVERN_BODY - 1)));
}

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
            mana_pickup_fx(b->pos, pos, b->value);
            carried += b->value;
            b->destroy();
            has_goal = false;
        }
    });
}
