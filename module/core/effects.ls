// Effects are composed in the game's "test/fx.nut" and asked for by name; each call passes
// the object's place, a direction (velocity or surface normal), a third vector and a size.

namespace {
constexpr vec4f FX_UP = make4f(0.0f, 1.0f, 0.0f, 0.0f);
constexpr vec4f FX_NONE = make4f(0.0f, 0.0f, 0.0f, 0.0f);

void missile_fx(const char* name, BaseObject* obj, const vec4f& extra, float size) {
    if (!obj) return;
    auto* m = static_cast<Missile*>(obj);
    call_fx_script(name, m->pos, m->vel, extra, size);
}

void place_fx(const char* name, BaseObject* obj, const vec4f& dir, float size) {
    if (!obj) return;
    call_fx_script(name, static_cast<Actor*>(obj)->pos, dir, FX_NONE, size);
}
} // namespace

// Every step of a flying missile.
void spawn_fireball_fx(BaseObject* obj) {
    missile_fx("fireball_fx", obj, FX_NONE, 1.0f);
}
void spawn_waterball_missile_fx(BaseObject* obj) {
    missile_fx("waterball_missile_fx", obj, FX_NONE, 1.0f);
}
// In the missile's own colour: shaping spells, water sources and sinks and castle shots
// look apart in flight.
void spawn_magic_missile_fx(BaseObject* obj) {
    if (!obj) return;
    const uint32_t color = static_cast<Missile*>(obj)->color;
    missile_fx("magic_missile_fx", obj, color_to_vec4f(color), 0.8f);
}
void spawn_meteor_fx(BaseObject* obj) {
    missile_fx("meteor_fx", obj, FX_NONE, 2.0f);
}

// Every step of a water source or sink.
void spawn_water_source_fx(BaseObject* obj) {
    place_fx("water_source_fx", obj, FX_UP, 1.0f);
}
void spawn_water_sink_fx(BaseObject* obj) {
    place_fx("water_sink_fx", obj, FX_UP, 1.0f);
}

// Once, where something ends.
void fireball_explode_fx(vec4f pos) {
    call_fx_script("fireball_explode_fx", pos, FX_UP, FX_NONE, 1.0f);
}
void meteor_explode_fx(vec4f pos) {
    call_fx_script("meteor_explode_fx", pos, FX_UP, FX_NONE, 1.5f);
}
void wyvern_death_fx(BaseObject* obj) {
    place_fx("wyvern_death_fx", obj, FX_NONE, 2.0f);
}

// Every step of what waits or stays: mana balls and an open portal.
void mana_ball_fx(vec4f pos, float value) {
    call_fx_script("mana_ball_fx", pos, FX_NONE, FX_NONE, value);
}
void portal_fx(vec4f pos, vec4f facing, float radius) {
    call_fx_script("portal_fx", pos, facing, FX_NONE, radius);
}

// Once, when mana is taken: it flows from `pos` towards `to`.
void mana_pickup_fx(vec4f pos, vec4f to, float amount) {
    call_fx_script("mana_pickup_fx", pos, to, FX_NONE, amount);
}

// Every few steps of a damaged castle: damage from 0.5 (half its health) to 1.
void castle_smoke_fx(vec4f pos, float damage) {
    call_fx_script("castle_smoke_fx", pos, FX_UP, FX_NONE, damage);
}

// Before the first effect: the script forgets the sparks it was flying.
void init_fx_data() {
    call_fx_script("init_fx", FX_NONE, FX_NONE, FX_NONE, 0.0f);
}
