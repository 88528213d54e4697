// What stands on the land: castles that shoot at monsters, water sources and sinks, and
// the world portal. Then the behaviour that needs them all.

constexpr float CASTLE_HEALTH = 200.0f;
constexpr float CASTLE_RANGE = 50.0f;
constexpr float CASTLE_RELOAD = 1.0f;
// Above the castle's position (the top of the keep in its court): just over the keep's
// roof, whose peak is 2.66 higher. Shots and smoke leave from there.
constexpr float CASTLE_TOWER = 3.0f;
constexpr float CASTLE_SMOKE_EVERY = 0.15f;

class CastleObject : public StaticObject {
  public:
    GAME_CLASS(CastleObject, &Actor_list)
    float reload = 0.0f;
    float smoke_wait = 0.0f;

    CastleObject() {
        health = CASTLE_HEALTH;
        radius = 9.0f;
    }
    void damage(float amount) {
        if (isDestroyed()) return;
        health -= amount;
        if (health <= 0.0f) {
            game_message("A castle has fallen");
            destroy();
        }
    }
    // Shoots at the nearest monster in range, aiming where it will be; false: none.
    bool shoot();
    void update(float dt) override {
        reload -= dt;
        if (reload <= 0.0f && shoot()) reload = CASTLE_RELOAD;
        // Below half its health the keep smokes, thicker the closer it is to falling.
        smoke_wait -= dt;
        if (health < CASTLE_HEALTH * 0.5f && smoke_wait <= 0.0f) {
            smoke_wait = CASTLE_SMOKE_EVERY;
            castle_smoke_fx(add4(pos, make4f(0.0f, CASTLE_TOWER, 0.0f, 0.0f)),
                            1.0f - health / CASTLE_HEALTH);
        }
    }
    // The castle is its house plot; nothing more to draw.
};

class WaterSource : public GameActor {
  public:
    GAME_CLASS(WaterSource, &Actor_list)
    float rate = WATER_SOURCE_RATE; // negative: a sink
    float age = 0.0f;
    static constexpr float LIFE = 120.0f;

    void update(float dt) override {
        age += dt;
        if (age > LIFE) {
            destroy();
            return;
        }
        add_source_water(pos.x, pos.z, rate * dt);
        pos.y = surface_height(pos.x, pos.z);
        if (rate > 0.0f)
            spawn_water_source_fx(this);
        else
            spawn_water_sink_fx(this);
    }
};

class WorldPortal : public StaticObject {
  public:
    GAME_CLASS(WorldPortal, &Actor_list)
    WorldPortal() { radius = 3.0f; }
    // A ring of light facing along z.
    void update(float) override { portal_fx(pos, make4f(0.0f, 0.0f, 1.0f, 0.0f), radius); }
};

// ---------------------------------------------------------------- behaviour

bool CastleObject::shoot() {
    Monster* m = nearest_near<Monster>(pos, CASTLE_RANGE);
    if (!m) return false;
    vec4f from = add4(pos, make4f(0.0f, CASTLE_TOWER, 0.0f, 0.0f));
    float t = dist3(from, m->pos) / CASTLE_SHOT_SPEED;
    vec4f lead = add4(m->pos, m->vel, t);
    vec4f dir = norm3(wrapped_offset(from, lead));
    CastleMissile* shot = spawn<CastleMissile>();
    shot->launch(from, make4f(dir.x * CASTLE_SHOT_SPEED, dir.y * CASTLE_SHOT_SPEED,
                              dir.z * CASTLE_SHOT_SPEED, 0.0f));
    return true;
}

void CastleMissile::impact(const vec4f& at, Monster* hit) {
    if (hit) hit->damage(CASTLE_SHOT_DAMAGE);
    destroy();
}

void Fireball::impact(const vec4f& at, Monster* hit) {
    ImpactReport r("fireball", at);
    if (hit) hit->damage(FIREBALL_HIT);
    apply_fireball(at, FIREBALL_RADIUS);
    fireball_explode_fx(at);
    destroy();
}

void Waterball::impact(const vec4f& at, Monster* hit) {
    ImpactReport r("water-ball", at);
    if (hit) hit->damage(10.0f);
    add_water_globe(at, 40.0f);
    destroy();
}

void WyvernMonster::update(float dt) {
    think -= dt;
    attack_timer -= dt;
    vec4f player = player_position();
    if (think <= 0.0f) {
        think = 0.5f;
        hunting = HUNT_NONE;
        float best = WYVERN_SIGHT * WYVERN_SIGHT;
        if (local_player && ground_dist2(pos, player) < best) {
            best = ground_dist2(pos, player);
            hunting = HUNT_PLAYER;
        }
        if (CastleObject* c = nearest_near<CastleObject>(pos, WYVERN_SIGHT)) {
            if (ground_dist2(pos, c->pos) < best) {
                hunting = HUNT_CASTLE;
                goal = add4(c->pos, make4f(0.0f, CASTLE_TOWER, 0.0f, 0.0f));
            }
        }
        if (hunting == HUNT_NONE && ground_dist2(pos, goal) < 16.0f * 16.0f) {
            // Roam: somewhere new, high over the land.
            goal = make4f(wrap_coord(pos.x + rnd_range(-50.0f, 50.0f)), 0.0f,
                          wrap_coord(pos.z + rnd_range(-50.0f, 50.0f)), 1.0f);
            goal.y = surface_height(goal.x, goal.z) + 18.0f;
        }
    }
    if (hunting == HUNT_PLAYER) goal = player;
    vec4f to = wrapped_offset(pos, goal);
    vec4f dir = norm3(to);
    steer(vel, make4f(dir.x * WYVERN_SPEED, dir.y * WYVERN_SPEED, dir.z * WYVERN_SPEED, 0.0f), 1.5f,
          dt);
    float floor = surface_height(pos.x, pos.z) + 4.0f;
    if (pos.y < floor) {
        pos.y = floor;
        vel.y = fmaxf(vel.y, 0.0f);
    }
    if (hunting != HUNT_NONE && attack_timer <= 0.0f && len3(to) < 5.0f) {
        attack_timer = 1.5f;
        if (hunting == HUNT_PLAYER) {
            hurt_player(12.0f, "a wyvern");
        } else if (CastleObject* c = nearest_near<CastleObject>(pos, 12.0f)) {
            c->damage(15.0f);
        }
        vel = make4f(-vel.x * 0.5f, 4.0f, -vel.z * 0.5f, 0.0f); // wheel away for another pass
    }
    advance(dt);
    body_timer -= dt;
    if (body_timer <= 0.0f) {
        body_timer = 0.08f;
        for (int i = WYVERN_BODY - 1; i > 0; --i) body[i] = body[i - 1];
    }
    body[0] = pos;
}
