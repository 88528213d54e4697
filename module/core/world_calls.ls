// What the game calls each step and frame, at start-up and shutdown, and around worlds.

bool monster_spawn = true;
bool mana_cheat = false;

void toggle_mana_cheat() {
    mana_cheat = !mana_cheat;
    debug("mana cheat %s", mana_cheat ? "on" : "off");
}

void toggle_monster_spawn() {
    monster_spawn = !monster_spawn;
    debug("monster spawn %s", monster_spawn ? "on" : "off");
}

void init_inst_render() {}

void init_actor() {
    create_local_player();
}

void close_actor() {
    destroy_all(false);
    delete_destroyed();
    local_player = nullptr;
}

void update_actor(float dt) {
    for (ObjectList* list : actor_lists)
        if (list != &Actor_list && list != &Spell_list)
            for_each_live(*list, [dt](Actor* a) { a->update(dt); });
    delete_destroyed();
}

void render_actor(float time) {
    for_each_live(Actor_list, [time](Actor* a) { a->render(time); });
}

void render_actor_shadow(float time) {
    for_each_live(Actor_list, [](Actor* a) { a->renderShadow(); });
}

void render_debug_vis_actor(float time) {}

void render_building(const HeightmapData::Surface* s, int x, int z) {}

// A new world: everything goes but the player, who is told separately.
void remove_all_actor() {
    destroy_all(true);
    delete_destroyed();
}

void bind_actor(HSQUIRRELVM vm) {}

// Spell effects, monsters and world objects: filled in with the gameplay.
void add_source_water(float x, float z, float amount) {}
void add_water_source(float x, float z, float rate) {}
void apply_fireball(vec4f pos, float radius) {}
void add_water_globe(vec4f pos, float amount) {}
void create_hill(float x, float z, float radius, float height) {}
void init_spell_grid() {}
void spawn_monster(int kind) {}
bool is_world_complete() {
    return true;
}
void spawn_monsters(float dt) {}
void do_inst_render() {}
vec4f calc_land_norm(float x, float z) {
    return make4f(0.0f, 1.0f, 0.0f, 0.0f);
}
void generate_objects() {}
void spawn_fireball_fx(BaseObject* obj) {}
void fireball_explode_fx(vec4f pos) {}
void spawn_waterball_missile_fx(BaseObject* obj) {}
void spawn_magic_missile_fx(BaseObject* obj) {}
void spawn_water_source_fx(BaseObject* obj) {}
void spawn_water_sink_fx(BaseObject* obj) {}
void spawn_meteor_fx(BaseObject* obj) {}
void meteor_explode_fx(vec4f pos) {}
void wyvern_death_fx(BaseObject* obj) {}
void init_fx_data() {}
void delete_actor(BaseObject* obj) {
    if (obj) obj->destroy();
}

// After every bind, once live objects carry this module's classes.
void link_gui() {
    link_module_gui();
    int objects = 0;
    for (ObjectList* list : actor_lists) objects += list->num;
    if (auto* p = static_cast<Actor*>(local_player))
        debug("actor module linked (%s): %d listed, player at %.3f %.3f %.3f", PLAYER_BUILD_NOTE,
              objects, p->pos.x, p->pos.y, p->pos.z);
    else
        debug("actor module linked (%s): %d listed, no player", PLAYER_BUILD_NOTE, objects);
}
