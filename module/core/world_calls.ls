// What the game calls each step and frame, at start-up and shutdown, and around worlds.

void toggle_mana_cheat() {
    mana_cheat = !mana_cheat;
    debug("mana cheat %s", mana_cheat ? "on" : "off");
}

void toggle_monster_spawn() {
    monster_spawn = !monster_spawn;
    debug("monster spawn %s", monster_spawn ? "on" : "off");
}

void init_actor() {
    create_local_player();
    ensure_spells();
    init_fx_data();
}

void close_actor() {
    destroy_all(false);
    delete_destroyed();
    local_player = nullptr;
    close_game_hud();
}

void update_actor(float dt) {
    update_game(dt);
    for (ObjectList* list : actor_lists)
        if (list != &Actor_list && list != &Spell_list)
            for_each_live(*list, [dt](Actor* a) { a->update(dt); });
    delete_destroyed();
}

void render_actor(float time) {
    for_each_live(Actor_list, [time](Actor* a) { a->render(time); });
    do_inst_render();
}

void render_actor_shadow(float time) {
    render_game_shadows();
    render_building_shadows();
}

void render_debug_vis_actor(float time) {
    draw_game_shapes();
}

// A new world: everything goes but the player (told separately) and the spells.
void remove_all_actor() {
    for (ObjectList* list : actor_lists)
        for (BaseObject* obj : *list)
            if (obj != local_player && !dynamic_cast<Spell*>(obj)) obj->destroy();
    delete_destroyed();
    reset_world_progress();
}

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
