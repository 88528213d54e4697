// The functions of the game-object module that the host calls. Until a module is loaded
// every entry is a no-op, so the host's sequences run unchanged without one.
#pragma once

#include "squirrel/include/squirrel.h"
#include "world/vec4f.h"

class GameMode;

// The player object's operations that the host calls (the module implements them).
class ActorPlayer {
  public:
    virtual void beforeRegeneration() = 0;
    virtual void move(float dt, float speed, const vec4f& velocity, const vec4f basis[3],
                      float dash) = 0;
    virtual void eyePosition(vec4f& out) = 0;
    virtual void setPosition(const vec4f& pos) = 0;
    virtual void afterRegeneration() = 0;

  protected:
    ~ActorPlayer() = default;
};

extern ActorPlayer* local_player; // null when there is none

struct ActorModule {
    void (*toggle_mana_cheat)();
    void (*toggle_monster_spawn)();
    void (*init_inst_render)();
    void (*init_actor)();
    void (*init_new_gui)();
    void (*init_spells_ui)();
    void (*close_spells_ui)();
    void (*close_actor)();
    void (*spells_ui_after_resize)();
    void (*update_actor)(float dt);
    void (*update_spells_ui)(float dt);
    void (*draw_spells_ui)(GameMode* mode, float time);
    bool (*update_spells_ui_mouse)(GameMode* mode, float time);
    void (*open_game_menu)(GameMode* mode);
    void (*close_game_menu)(GameMode* mode);
    void (*update_game_menu)(float dt);
    void (*draw_game_menu)(GameMode* mode, float time);
    void (*render_actor)(float time);
    void (*render_debug_vis_actor)();
    void (*render_actor_shadow)();
    void (*remove_all_actor)();
    void (*bind_actor)(HSQUIRRELVM vm);
};

extern ActorModule actor_module;    // the bound functions
extern bool should_close_game_menu; // set by the module's menu
bool is_actor_module_bound();       // false: the no-op table is in place
