// Game modes: playing (the start mode), the developer fly-through and the in-game menu.
// The current mode gets every simulation update and draws every frame.
#pragma once

#include "core/vec4f.h"
#include "platform/game_export.h"

class GameMode {
  public:
    virtual ~GameMode() = default;
    virtual void enter(GameMode* prev) = 0;
    virtual void leave(GameMode* next) = 0;
    virtual void update(float dt) = 0;
    virtual void render(float time) = 0;
    virtual void render_overlay(float time) = 0;
    virtual void reserved() {}
};

class PlayGameMode : public GameMode {
  public:
    void enter(GameMode* prev) override;
    void leave(GameMode*) override {}
    void update(float dt) override;
    void render(float time) override;
    void render_overlay(float time) override;
};

class DevGameMode : public GameMode {
  public:
    void enter(GameMode* prev) override;
    void leave(GameMode*) override {}
    void update(float dt) override;
    void render(float time) override;
    void render_overlay(float) override {}
};

class GameMenuMode : public GameMode {
  public:
    GameMode* return_mode = nullptr;
    void enter(GameMode* prev) override;
    void leave(GameMode* next) override;
    void update(float dt) override;
    void render(float time) override;
    void render_overlay(float time) override;
};

extern PlayGameMode play_game_mode;
extern DevGameMode dev_game_mode;
extern GameMenuMode game_menu_mode;
extern GameMode* const game_modes[3]; // play, dev, menu

GameMode* get_game_mode();
void set_game_mode(GameMode* mode);
void reset_fly_control();

// Pieces of the modes, exposed for tests.
void run_global_keys();
void run_dev_keys(bool dev_mode);
void dev_free_flight(float dt);
void player_flight(float dt);
void dev_mouse_look(float time);
void play_mouse_look(float time);
void erode_land();

// Frame and overlay; render_game_frame is the device's frame callback.
void render_game_frame(float time);
void render_game_scene(float time, float factor);
void draw_game_overlays();
const char* help_text(bool dev_mode);

// For the game-object module: the world portal asks for a new world, made once the
// current step is over; the demo autopilot turns the view (dir need not be normalised).
GAME_EXPORT void request_new_world();
GAME_EXPORT void set_view_direction(const vec4f& dir);
