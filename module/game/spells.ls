// The spells: one object of each in the spell lists (the spell screen shows those), each
// turning a cast from a point in a direction into missiles or buildings.

class Spell : public Actor {
  public:
    GAME_CLASS(Spell, &Spell_list)
    virtual int spellId() { return -1; }
    // false: nothing happened (a message says why), so no mana is spent.
    virtual bool cast(const vec4f& from, const vec4f& dir) { return false; }
};

// The first point of land (or water) along a ray, within reach.
bool aim_at_land(const vec4f& from, const vec4f& dir, float reach, vec4f& hit) {
    vec4f d = norm3(dir);
    for (float t = 0.5f; t <= reach; t += 0.5f) {
        vec4f p = add4(from, d, t);
        float h = surface_height(p.x, p.z);
        if (p.y <= h) {
            hit = make4f(wrap_coord(p.x), h, wrap_coord(p.z), 1.0f);
            return true;
        }
    }
    return false;
}

template <typename M>
M* launch_missile(const vec4f& from, const vec4f& dir, float speed) {
    vec4f d = norm3(dir);
    M* m = spawn<M>();
    m->launch(add4(from, d, 1.5f), make4f(d.x * speed, d.y * speed, d.z * speed, 0.0f));
    return m;
}

#define MISSILE_SPELL(cls, id, missile)                                                            \
    class cls : public Spell {                                                                     \
      public:                                                                                      \
        GAME_CLASS(cls, &Spell_list)                                                               \
        int spellId() override { return id; }                                                      \
        bool cast(const vec4f& from, const vec4f& dir) override {                                  \
            launch_missile<missile>(from, dir, spell_info[id].speed);                              \
            return true;                                                                           \
        }                                                                                          \
    };

MISSILE_SPELL(FireballSpell, SPELL_FIREBALL, Fireball)
MISSILE_SPELL(WaterballSpell, SPELL_WATERBALL, Waterball)
MISSILE_SPELL(FaultSpell, SPELL_FAULT, FaultMissile)
MISSILE_SPELL(HouseSpell, SPELL_HOUSE, HouseMissile)
MISSILE_SPELL(HillSpell, SPELL_HILL, HillMissile)
MISSILE_SPELL(PitSpell, SPELL_PIT, PitMissile)
MISSILE_SPELL(WaterSourceSpell, SPELL_WATER_SOURCE, WaterSourceMissile)
MISSILE_SPELL(WaterSinkSpell, SPELL_WATER_SINK, WaterSinkMissile)
#undef MISSILE_SPELL

constexpr float METEOR_FALL_TIME = 1.6f;

class MeteorSpell : public Spell {
  public:
    GAME_CLASS(MeteorSpell, &Spell_list)
    int spellId() override { return SPELL_METEOR; }
    // A rock falls from high above and behind the wizard onto the point aimed at.
    bool cast(const vec4f& from, const vec4f& dir) override {
        vec4f target;
        if (!aim_at_land(from, dir, CAST_REACH, target)) {
            game_message("No land in reach for a meteor");
            return false;
        }
        vec4f d = norm3(make4f(dir.x, 0.0f, dir.z, 0.0f));
        vec4f start = add4(target, make4f(-d.x * 40.0f, 80.0f, -d.z * 40.0f, 0.0f));
        vec4f v = wrapped_offset(start, target);
        float k = 1.0f / METEOR_FALL_TIME;
        auto* m = spawn<MeteorMissile>();
        m->launch(start, make4f(v.x * k, v.y * k, v.z * k, 0.0f));
        return true;
    }
};

constexpr float CASTLE_COURT = 9.0f; // half the walled court

CastleObject* build_castle(float x, float z) {
    int cx = int(floorf(x + 0.5f)), cz = int(floorf(z + 0.5f));
    HeightmapData::placeHouse(cx, cz, -1, HeightmapData::target_hmap, false);
    HeightmapRenderer::markDirty();
    auto* c = spawn<CastleObject>();
    c->pos = make4f(wrap_coord(float(cx)), HeightmapData::target_hmap[hm_index(cx, cz)],
                    wrap_coord(float(cz)), 1.0f);
    c->settle();
    return c;
}

class CastleSpell : public Spell {
  public:
    GAME_CLASS(CastleSpell, &Spell_list)
    int spellId() override { return SPELL_CASTLE; }
    bool cast(const vec4f& from, const vec4f& dir) override {
        vec4f at;
        if (!aim_at_land(from, dir, CAST_REACH, at)) {
            game_message("No land in reach for a castle");
            return false;
        }
        if (water_depth_at(at.x, at.z) > 1.0f) {
            game_message("Castles need dry land");
            return false;
        }
        if (nearest_near<CastleObject>(at, CASTLE_COURT * 2.0f)) {
            game_message("Too close to another castle");
            return false;
        }
        ImpactReport r("castle", at);
        build_castle(at.x, at.z);
        game_message("A castle rises");
        return true;
    }
};

class UsePortalSpell : public Spell {
  public:
    GAME_CLASS(UsePortalSpell, &Spell_list)
    int spellId() override { return SPELL_USE_PORTAL; }
    bool cast(const vec4f& from, const vec4f& dir) override {
        WorldPortal* p = nearest_near<WorldPortal>(from, PORTAL_REACH);
        if (!p || dist3(from, p->pos) > PORTAL_REACH) {
            game_message(WorldPortal_list.num ? "Fly into the world portal to use it"
                                              : "There is no world portal yet");
            return true; // tried: the cast is free
        }
        WizardState& w = wizard();
        ++w.worlds_completed;
        game_message("Through the portal to a new world");
        request_new_world();
        return true;
    }
};

ObjectList* const spell_lists[SPELL_COUNT] = {
    &FireballSpell_list,  &WaterballSpell_list, &FaultSpell_list,     &HouseSpell_list,
    &MeteorSpell_list,    &HillSpell_list,      &PitSpell_list,       &WaterSourceSpell_list,
    &WaterSinkSpell_list, &CastleSpell_list,    &UsePortalSpell_list,
};

// The spell object of an id, made when missing (the spell lists outlive worlds).
Spell* spell_object(int id) {
    ObjectList& list = *spell_lists[id];
    for (BaseObject* obj : list)
        if (!obj->isDestroyed()) return static_cast<Spell*>(obj);
    switch (id) {
    case SPELL_FIREBALL:
        return spawn<FireballSpell>();
    case SPELL_WATERBALL:
        return spawn<WaterballSpell>();
    case SPELL_FAULT:
        return spawn<FaultSpell>();
    case SPELL_HOUSE:
        return spawn<HouseSpell>();
    case SPELL_METEOR:
        return spawn<MeteorSpell>();
    case SPELL_HILL:
        return spawn<HillSpell>();
    case SPELL_PIT:
        return spawn<PitSpell>();
    case SPELL_WATER_SOURCE:
        return spawn<WaterSourceSpell>();
    case SPELL_WATER_SINK:
        return spawn<WaterSinkSpell>();
    case SPELL_CASTLE:
        return spawn<CastleSpell>();
    default:
        return spawn<UsePortalSpell>();
    }
}

void ensure_spells() {
    for (int id = 0; id < SPELL_COUNT; ++id) spell_object(id);
}

// Casts a spell if the wizard has the mana and the last cast has cooled down.
bool cast_spell(int id, const vec4f& from, const vec4f& dir) {
    if (id < 0 || id >= SPELL_COUNT) return false;
    WizardState& w = wizard();
    if (w.cooldown > 0.0f) return false;
    const SpellInfo& s = spell_info[id];
    if (!mana_cheat && w.mana < float(s.cost)) {
        game_message("Not enough mana for %s (%d)", s.title, s.cost);
        w.cooldown = 0.5f;
        return false;
    }
    if (!spell_object(id)->cast(from, dir)) {
        w.cooldown = 0.3f;
        return false;
    }
    if (!mana_cheat) w.mana -= float(s.cost);
    w.cooldown = s.cooldown;
    ++w.casts[id];
    debug("cast %s (mana %.0f)", s.name, w.mana);
    return true;
}

// For the spell screen: puts a spell on a mouse button (0 left, 1 right).
void assign_mouse_spell(int button, int spell_id) {
    if (button < 0 || button > 1 || spell_id < 0 || spell_id >= SPELL_COUNT) return;
    wizard().button_spell[button] = spell_id;
}
