// A game: the wizard's mana, health and spells, monster waves, the world's goal and its
// portal, the world functions spells use, and the demo autopilot.

WizardState& wizard() {
    static WizardState spare;
    if (auto* p = static_cast<Player*>(local_player)) return p->wiz;
    return spare;
}

vec4f player_position() {
    if (auto* p = static_cast<Actor*>(local_player)) return p->pos;
    return make4f(128.0f, 20.0f, 128.0f, 1.0f);
}

constexpr float KNOCKOUT_LIFT = 25.0f;

// A knocked-out wizard loses half the mana and wakes up high above, never dead.
void hurt_player(float amount, const char* by) {
    WizardState& w = wizard();
    w.health -= amount;
    if (w.health > 0.0f) return;
    w.health = PLAYER_HEALTH;
    w.mana *= 0.5f;
    game_message("Knocked out by %s: half your mana is lost", by);
    if (local_player) {
        vec4f p = player_position();
        p.y += KNOCKOUT_LIFT;
        local_player->setPosition(p);
    }
}

int live_count(const ObjectList& list) {
    int n = 0;
    for (BaseObject* obj : list) n += !obj->isDestroyed();
    return n;
}

// ---------------------------------------------------------------- world functions

void add_source_water(float x, float z, float amount) {
    // Spread over a small disc so the simulation sees no spike.
    constexpr int R = 2;
    float weights[2 * R + 1][2 * R + 1], sum = 0.0f;
    int cx = int(floorf(x + 0.5f)), cz = int(floorf(z + 0.5f));
    for (int dz = -R; dz <= R; ++dz)
        for (int dx = -R; dx <= R; ++dx) {
            float w = fmaxf(0.0f, 1.0f - float(dx * dx + dz * dz) / float((R + 1) * (R + 1)));
            weights[dz + R][dx + R] = w;
            sum += w;
        }
    for (int dz = -R; dz <= R; ++dz)
        for (int dx = -R; dx <= R; ++dx) {
            auto& cell = HeightmapData::waterAt(cx + dx, cz + dz);
            cell.depth = fmaxf(0.0f, cell.depth + amount * weights[dz + R][dx + R] / sum);
        }
}

void add_water_source(float x, float z, float rate) {
    auto* s = spawn<WaterSource>();
    s->rate = rate;
    s->pos = make4f(wrap_coord(x), surface_height(x, z), wrap_coord(z), 1.0f);
    place_in_grid(s, s->pos, 1.0f);
    // A first gush, so the spell shows at once.
    add_source_water(x, z, rate);
}

void add_water_globe(vec4f pos, float amount) {
    constexpr int R = 5;
    float sum = 0.0f;
    int cx = int(floorf(pos.x + 0.5f)), cz = int(floorf(pos.z + 0.5f));
    for (int pass = 0; pass < 2; ++pass)
        for (int dz = -R; dz <= R; ++dz)
            for (int dx = -R; dx <= R; ++dx) {
                float d2 = float(dx * dx + dz * dz);
                if (d2 >= float(R * R)) continue;
                float w = 1.0f - d2 / float(R * R);
                if (pass == 0)
                    sum += w;
                else
                    HeightmapData::waterAt(cx + dx, cz + dz).depth += amount * w / sum;
            }
}

void create_hill(float x, float z, float radius, float height) {
    int r = int(ceilf(radius));
    int cx = int(floorf(x + 0.5f)), cz = int(floorf(z + 0.5f));
    for (int dz = -r; dz <= r; ++dz)
        for (int dx = -r; dx <= r; ++dx) {
            float d = sqrtf(wrap_delta(float(cx + dx) - x) * wrap_delta(float(cx + dx) - x) +
                            wrap_delta(float(cz + dz) - z) * wrap_delta(float(cz + dz) - z));
            if (d >= radius) continue;
            float t = 1.0f - d / radius;
            HeightmapData::target_hmap[hm_index(cx + dx, cz + dz)] +=
                height * t * t * (3.0f - 2.0f * t);
        }
}

constexpr uint32_t SCORCH_COLOR = 0xFF2A2622u;

void apply_fireball(vec4f pos, float radius) {
    HeightmapData::genCrater(Point2{pos.x, pos.z}, radius * 0.5f, 0.7f, HeightmapData::target_hmap);
    // Scorch the ground.
    int r = int(ceilf(radius));
    int cx = int(floorf(pos.x + 0.5f)), cz = int(floorf(pos.z + 0.5f));
    __m128 scorch = unpack_color(SCORCH_COLOR);
    for (int dz = -r; dz <= r; ++dz)
        for (int dx = -r; dx <= r; ++dx) {
            float d = sqrtf(float(dx * dx + dz * dz));
            if (d >= radius) continue;
            auto& s = HeightmapData::surface[hm_index(cx + dx, cz + dz)];
            if (s.ground_type == GT_HOUSE) continue;
            float k = 0.6f * (1.0f - d / radius);
            __m128 c = unpack_color(s.color);
            c = _mm_add_ps(c, _mm_mul_ps(_mm_sub_ps(scorch, c), _mm_set1_ps(k)));
            s.color = pack_color(c);
        }
    HeightmapRenderer::markDirty();
    // Hurt what is near; blow stones apart.
    float reach = radius * 1.6f;
    for_each_near(pos.x, pos.z, reach, [&](Actor* a) {
        float d = dist3(pos, a->pos);
        if (d >= reach) return;
        if (auto* m = dynamic_cast<Monster*>(a))
            m->damage(35.0f * (1.0f - d / reach));
        else if (dynamic_cast<Stone1StaticObject*>(a) && d < radius * 0.6f)
            a->destroy();
    });
}

vec4f calc_land_norm(float x, float z) {
    float hx = ground_height(x - 1.0f, z) - ground_height(x + 1.0f, z);
    float hz = ground_height(x, z - 1.0f) - ground_height(x, z + 1.0f);
    return norm3(make4f(hx, 2.0f, hz, 0.0f));
}

void init_spell_grid() {
    ensure_spells();
}

// ---------------------------------------------------------------- monsters

enum { MONSTER_WYVERN, MONSTER_BIRDS, MONSTER_GATHERER, MONSTER_KINDS };

constexpr int MAX_WYVERNS = 3;
constexpr int MAX_BIRDS = 16;
constexpr int FLOCK_SIZE = 8;
constexpr int MAX_GATHERERS = 5;

// A point around the wizard at a distance, on the ground plane.
vec4f spawn_point(float dist) {
    vec4f p = player_position();
    float a = rnd_float() * 6.2831853f;
    float x = wrap_coord(p.x + cosf(a) * dist), z = wrap_coord(p.z + sinf(a) * dist);
    return make4f(x, surface_height(x, z), z, 1.0f);
}

void spawn_monster(int kind) {
    switch (kind) {
    case MONSTER_WYVERN: {
        auto* w = spawn<WyvernMonster>();
        w->pos = add4(spawn_point(70.0f), make4f(0.0f, 25.0f, 0.0f, 0.0f));
        w->goal = w->pos;
        for (vec4f& b : w->body) b = w->pos;
        place_in_grid(w, w->pos, w->radius);
        break;
    }
    case MONSTER_BIRDS: {
        vec4f home = add4(spawn_point(45.0f), make4f(0.0f, 10.0f, 0.0f, 0.0f));
        int flock = int(rnd_step() & 0xFFFF);
        for (int i = 0; i < FLOCK_SIZE; ++i) {
            auto* b = spawn<BirdMonster>();
            b->home = home;
            b->flock = flock;
            b->wing = 0.37f * float(i); // a flock that beats as one looks mechanical
            b->pos = add4(home, make4f(rnd_range(-4.0f, 4.0f), rnd_range(-1.0f, 1.0f),
                                       rnd_range(-4.0f, 4.0f), 0.0f));
            b->pos.x = wrap_coord(b->pos.x);
            b->pos.z = wrap_coord(b->pos.z);
            place_in_grid(b, b->pos, b->radius);
        }
        break;
    }
    case MONSTER_GATHERER: {
        vec4f p = spawn_point(35.0f);
        if (water_depth_at(p.x, p.z) > 0.6f) return; // walkers start on land
        auto* g = spawn<ManaGatherer>();
        g->pos = make4f(p.x, ground_height(p.x, p.z) + 0.8f, p.z, 1.0f);
        g->heading = rnd_float() * 6.2831853f;
        place_in_grid(g, g->pos, g->radius);
        break;
    }
    default:
        break;
    }
}

void spawn_monsters(float dt) {
    WizardState& w = wizard();
    w.wyvern_timer -= dt;
    w.flock_timer -= dt;
    w.gatherer_timer -= dt;
    if (w.wyvern_timer <= 0.0f) {
        w.wyvern_timer = 15.0f;
        if (live_count(WyvernMonster_list) < MAX_WYVERNS) spawn_monster(MONSTER_WYVERN);
    }
    if (w.flock_timer <= 0.0f) {
        w.flock_timer = 20.0f;
        if (live_count(BirdMonster_list) + FLOCK_SIZE <= MAX_BIRDS) spawn_monster(MONSTER_BIRDS);
    }
    if (w.gatherer_timer <= 0.0f) {
        w.gatherer_timer = 10.0f;
        if (live_count(ManaGatherer_list) < MAX_GATHERERS) spawn_monster(MONSTER_GATHERER);
    }
}

// Scattered stones; the world script calls this once the land is made.
void generate_objects() {
    constexpr int STONES = 160;
    for (int i = 0; i < STONES; ++i) {
        float x = rnd_float() * float(HMAP_SIZE), z = rnd_float() * float(HMAP_SIZE);
        float scale = rnd_range(0.4f, 1.3f);
        if (water_depth_at(x, z) > 0.2f) continue;
        if (HeightmapData::surface[hm_index(int(x), int(z))].ground_type == GT_HOUSE) continue;
        auto* s = spawn<Stone1StaticObject>();
        s->scale = scale;
        s->radius = scale;
        s->pos = make4f(x, ground_height(x, z), z, 1.0f);
        s->settle();
    }
}

void bind_actor(HSQUIRRELVM vm) {
    register_actor_script_function(vm, "generate_objects");
}

// ---------------------------------------------------------------- the world's goal

bool is_world_complete() {
    return live_count(CastleObject_list) >= GOAL_CASTLES && wizard().wyverns_slain >= GOAL_WYVERNS;
}

void open_world_portal() {
    WizardState& w = wizard();
    vec4f p = player_position();
    vec4f d = norm3(make4f(w.aim.x, 0.0f, w.aim.z, 0.0f));
    float x = wrap_coord(p.x + d.x * 30.0f), z = wrap_coord(p.z + d.z * 30.0f);
    auto* portal = spawn<WorldPortal>();
    portal->pos = make4f(x, surface_height(x, z) + 8.0f, z, 1.0f);
    portal->settle();
    w.portal_opened = true;
    game_message("World complete! Fly into the portal and cast Use portal");
}

// A new world starts with a fresh goal; spells, mana and the wizard carry over.
void reset_world_progress() {
    WizardState& w = wizard();
    w.wyverns_slain = 0;
    w.portal_opened = false;
}

// ---------------------------------------------------------------- the wizard

constexpr int VK_LBUTTON_CODE = 0x01;
constexpr int VK_RBUTTON_CODE = 0x02;
constexpr int VK_SHIFT_CODE = 0x10;

vec4f cast_origin() {
    vec4f p = player_position();
    p.y -= 0.4f; // from the hands, below the eye
    return p;
}

void pick_up_mana() {
    WizardState& w = wizard();
    vec4f p = player_position();
    for_each_near(p.x, p.z, PLAYER_REACH, [&](Actor* a) {
        auto* b = dynamic_cast<ManaBall*>(a);
        if (!b || dist3(p, b->pos) >= PLAYER_REACH) return;
        w.mana = fminf(MANA_MAX, w.mana + b->value);
        game_message("+%.0f mana", b->value);
        mana_pickup_fx(b->pos, p, b->value);
        b->destroy();
    });
}

constexpr int VK_CONTROL_CODE = 0x11;

// Play mode: the mouse buttons cast; number keys put spells on them (Shift: the right).
// Not while Ctrl is held: the mouse picks spells on the spell screen then.
void wizard_play_input(float dt) {
    if (!local_player || demo_autopilot || !isAppActive || getKeyState(VK_CONTROL_CODE)) return;
    WizardState& w = wizard();
    static const char keys[SPELL_COUNT] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0', 'P'};
    for (int i = 0; i < SPELL_COUNT; ++i)
        if (keyDown(keys[i])) {
            int button = getKeyState(VK_SHIFT_CODE) ? 1 : 0;
            assign_mouse_spell(button, i);
            game_message("%s button: %s", button ? "Right" : "Left", spell_info[i].title);
        }
    // Held, or clicked and let go within one step: a quick click must still cast.
    if (getKeyState(VK_LBUTTON_CODE) || keyDown(VK_LBUTTON_CODE))
        cast_spell(w.button_spell[0], cast_origin(), w.aim);
    else if (getKeyState(VK_RBUTTON_CODE) || keyDown(VK_RBUTTON_CODE))
        cast_spell(w.button_spell[1], cast_origin(), w.aim);
}

// ---------------------------------------------------------------- demo autopilot

constexpr float DEMO_ALTITUDE = 14.0f;
constexpr float DEMO_SPEED = 9.0f;
constexpr float DEMO_CAST_EVERY = 0.6f;

// Flies a wide curve, casts every spell in turn with a fight between, and goes through
// the portal when it opens. Only the shared random generator decides, so a seed repeats.
void run_demo(float dt) {
    WizardState& w = wizard();
    auto* player = static_cast<Actor*>(local_player);
    if (!w.demo_started) {
        w.demo_started = true;
        debug("demo: autopilot on");
        for (int k = 0; k < MONSTER_KINDS; ++k) spawn_monster(k);
    }
    w.demo_time += dt;
    w.demo_heading += dt * 0.15f;
    vec4f fly = make4f(cosf(w.demo_heading), 0.0f, sinf(w.demo_heading), 0.0f);
    WorldPortal* portal =
        WorldPortal_list.num ? static_cast<WorldPortal*>(WorldPortal_list[0]) : nullptr;
    if (portal && portal->isDestroyed()) portal = nullptr;
    if (portal)
        fly = norm3(make4f(wrapped_offset(player->pos, portal->pos).x, 0.0f,
                           wrapped_offset(player->pos, portal->pos).z, 0.0f));
    vec4f p = player->pos;
    p.x = wrap_coord(p.x + fly.x * DEMO_SPEED * dt);
    p.z = wrap_coord(p.z + fly.z * DEMO_SPEED * dt);
    float want_y = (portal ? portal->pos.y : surface_height(p.x, p.z) + DEMO_ALTITUDE);
    p.y += (want_y - p.y) * fminf(1.0f, 2.0f * dt);
    player->setPosition(p);
    p = player->pos;

    // Look ahead and a little down; at a fight, at the monster.
    vec4f aim = norm3(make4f(fly.x, -0.45f, fly.z, 0.0f));
    w.demo_cast_timer -= dt;
    bool fight = w.demo_step & 1;
    Monster* target = fight ? nearest_near<Monster>(p, 60.0f) : nullptr;
    if (target) {
        vec4f from = cast_origin();
        float t = dist3(from, target->pos) / spell_info[SPELL_FIREBALL].speed;
        aim = norm3(wrapped_offset(from, add4(target->pos, target->vel, t)));
    }
    w.aim = aim;
    set_view_direction(make4f(aim.x, aim.y * 0.5f, aim.z, 0.0f));
    if (w.demo_cast_timer > 0.0f) return;
    w.demo_cast_timer = DEMO_CAST_EVERY;
    int spell = fight ? SPELL_FIREBALL : (w.demo_step / 2) % SPELL_COUNT;
    if (spell == SPELL_USE_PORTAL && portal && dist3(p, portal->pos) > PORTAL_REACH) {
        w.demo_cast_timer = 0.2f; // fly on to the portal first
        return;
    }
    if (fight && !target) {
        ++w.demo_step;
        return;
    }
    if (!mana_cheat && w.mana < float(spell_info[spell].cost)) {
        w.mana = MANA_MAX;
        debug("demo: mana refilled");
    }
    w.cooldown = 0.0f;
    cast_spell(spell, cast_origin(), aim);
    ++w.demo_step;
}

// ---------------------------------------------------------------- each step

// Once per loaded module: what it took over, so a rebuild mid-game can be checked.
void announce_game_state() {
    static bool announced = false;
    if (announced) return;
    announced = true;
    WizardState& w = wizard();
    int casts = 0, objects = 0;
    for (int c : w.casts) casts += c;
    for (BaseObject* obj : Actor_list) objects += !obj->isDestroyed();
    debug("game state: %d objects, %d casts, %d monsters slain, mana %.0f", objects, casts,
          w.monsters_slain, w.mana);
}

void update_game(float dt) {
    announce_game_state();
    age_game_messages(dt);
    ensure_spells();
    WizardState& w = wizard();
    w.cooldown = fmaxf(0.0f, w.cooldown - dt);
    if (local_player) {
        w.mana = fminf(MANA_MAX, w.mana + MANA_REGEN * dt);
        if (demo_autopilot) run_demo(dt);
        pick_up_mana();
    }
    if (monster_spawn) spawn_monsters(dt);
    if (!w.portal_opened && local_player && is_world_complete()) open_world_portal();
}

void render_game_shadows() {
    vec4f eye = player_position();
    for (BaseObject* obj : Actor_list) {
        if (!(obj->flags & OBJ_GAME_ACTOR) || obj->isDestroyed()) continue;
        auto* a = static_cast<GameActor*>(obj);
        a->castShadow(make4f(eye.x + wrap_delta(a->pos.x - eye.x), a->pos.y,
                             eye.z + wrap_delta(a->pos.z - eye.z), 1.0f));
    }
}

// Shapes go where the land is drawn: the wrapped copy nearest the eye.
void draw_game_shapes() {
    vec4f eye = player_position();
    start_draw_debug_vis();
    for (BaseObject* obj : Actor_list) {
        if (!(obj->flags & OBJ_GAME_ACTOR) || obj->isDestroyed()) continue;
        auto* a = static_cast<GameActor*>(obj);
        vec4f keep = a->pos;
        a->pos.x = eye.x + wrap_delta(keep.x - eye.x);
        a->pos.z = eye.z + wrap_delta(keep.z - eye.z);
        a->drawShape();
        a->pos = keep;
    }
    end_draw_debug_vis();
}
