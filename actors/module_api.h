// The one boundary between `game` and the game-object module (actor.so).
//
//   1. What the module provides: three entry points found with dlsym, and the functions
//      that `get_actor_func_by_name` hands out, looked up in the order of ActorModule.
//   2. What `game` exports to the module: every declaration below marked GAME_EXPORT
//      (the program is linked so that only those become dynamic symbols).
//
// Both sides are compiled from this header; ActorLayout lets the host refuse a module
// built against a different one instead of corrupting live objects.
#pragma once

#include "actors/base_object.h"
#include "actors/object_lists.h"
#include "actors/proximity.h"
#include "core/vec4f.h"
#include "fx/fx_script.h"
#include "fx/particles.h"
#include "game/game.h"
#include "game/main_loop.h"
#include "game/settings.h"
#include "gui/gui.h"
#include "platform/config.h"
#include "platform/game_export.h"
#include "platform/input_event.h"
#include "platform/log.h"
#include "render/error_text.h"
#include "render/overlay/debug_vis.h"
#include "render/overlay/dist_font.h"
#include "render/overlay/render_batch.h"
#include "scene/heightmap_renderer.h"
#include "scene/objects/buildings.h"
#include "scene/objects/inst_render.h"
#include "scene/pipeline/shadows.h"
#include "script/ramps.h"
#include "squirrel/include/squirrel.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/rnd.h"
#include "world/world_gen_script.h"

#include <cstddef>

class GameMode;

// ============================================================ module entry points

constexpr int ACTOR_CLASS_COUNT = 51; // class tables; entry 0 is never matched
// Raise whenever a structure shared with the module changes shape.
constexpr int ACTOR_LAYOUT_VERSION = 1;

struct ActorLayout {
    int version; // ACTOR_LAYOUT_VERSION of the header the module was built with
    int base_object_size;
    int object_list_size;
    int proximity_query_size;
    int vec4f_size;
    int surface_size;
    int water_size;
    int render_batch_size;
    int class_sizes[ACTOR_CLASS_COUNT];         // sizeof of each class of get_actor_vtables
    const char* class_names[ACTOR_CLASS_COUNT]; // for messages; valid while the module is loaded
};

// The shared part as this side of the boundary sees it (class sizes left 0).
inline ActorLayout shared_actor_layout() {
    ActorLayout l{};
    l.version = ACTOR_LAYOUT_VERSION;
    l.base_object_size = int(sizeof(BaseObject));
    l.object_list_size = int(sizeof(ObjectList));
    l.proximity_query_size = int(sizeof(ProximityQuery));
    l.vec4f_size = int(sizeof(vec4f));
    l.surface_size = int(sizeof(HeightmapData::Surface));
    l.water_size = int(sizeof(HeightmapData::Water));
    l.render_batch_size = int(sizeof(RenderBatch));
    return l;
}

// extern "C" in the module, found with dlsym:
using GetActorFuncByName = void* (*)(const char* name); // "get_actor_func_by_name"
using GetActorVtables = void* const* (*)(int* count);   // "get_actor_vtables": 51 tables
using GetActorLayout = const ActorLayout* (*)();        // "get_actor_layout"

// Functions the host looks up through get_actor_func_by_name, in this order. A missing
// one is fatal ("no \"%s\" function in actor.so"), so every module defines them all.
#define ACTOR_MODULE_FUNCTIONS(X)                                                                  \
    X(toggle_mana_cheat, void, ())                         /* Ctrl-N */                            \
    X(toggle_monster_spawn, void, ())                      /* Ctrl-M */                            \
    X(init_inst_render, void, ())                          /* start-up, after loading */           \
    X(init_actor, void, ())                                /* start-up: creates local_player */    \
    X(init_new_gui, void, ())                              /* start-up */                          \
    X(init_spells_ui, void, ())                            /* start-up */                          \
    X(close_spells_ui, void, ())                           /* shutdown */                          \
    X(close_actor, void, ())                               /* shutdown: deletes every object */    \
    X(spells_ui_after_resize, void, ())                    /* after a device resize */             \
    X(update_actor, void, (float dt))                      /* every step but in the menu */        \
    X(update_spells_ui, void, (float dt))                  /* play mode step */                    \
    X(draw_spells_ui, void, (GameMode * mode, float time)) /* play mode overlay */                 \
    X(update_spells_ui_mouse, bool, (GameMode * mode, float time)) /* true: UI has the mouse */    \
    X(open_game_menu, void, (GameMode * mode))                     /* menu entered */              \
    X(close_game_menu, void, (GameMode * mode))                    /* menu left */                 \
    X(update_game_menu, void, (float dt))                          /* menu step */                 \
    X(draw_game_menu, void, (GameMode * mode, float time))         /* menu overlay */              \
    X(render_actor, void, (float time))                            /* scene: G-buffer/forward */   \
    X(render_debug_vis_actor, void, (float time))                  /* scene: debug lines */        \
    X(render_actor_shadow, void, (float time))                     /* scene: shadow balls */       \
    X(render_building, void, (const HeightmapData::Surface* s, int x, int z)) /* house cells */    \
    X(remove_all_actor, void, ())         /* before a new world */                                 \
    X(bind_actor, void, (HSQUIRRELVM vm)) /* world-gen VM functions */

// Required of every module but not called by the host (the module's own entry table).
#define ACTOR_MODULE_REQUIRED(X)                                                                   \
    X(add_source_water)                                                                            \
    X(add_water_source)                                                                            \
    X(apply_fireball)                                                                              \
    X(add_water_globe)                                                                             \
    X(create_hill)                                                                                 \
    X(init_spell_grid)                                                                             \
    X(spawn_monster)                                                                               \
    X(is_world_complete)                                                                           \
    X(spawn_monsters)                                                                              \
    X(do_inst_render)                                                                              \
    X(calc_land_norm)                                                                              \
    X(generate_objects)                                                                            \
    X(spawn_fireball_fx)                                                                           \
    X(fireball_explode_fx)                                                                         \
    X(spawn_waterball_missile_fx)                                                                  \
    X(spawn_magic_missile_fx)                                                                      \
    X(spawn_water_source_fx)                                                                       \
    X(spawn_water_sink_fx)                                                                         \
    X(spawn_meteor_fx)                                                                             \
    X(meteor_explode_fx)                                                                           \
    X(wyvern_death_fx)                                                                             \
    X(init_fx_data)                                                                                \
    X(set_radio)                                                                                   \
    X(get_radio)                                                                                   \
    X(delete_actor)

constexpr int ACTOR_REQUIRED_COUNT = 25;

// "link_gui" (void ()): looked up and called after every bind, once objects are rebound.
using LinkGuiFunc = void (*)();

// ============================================================ exported by game
// The declarations live in their subsystems' headers (included above); this is the list.
// To add an export: mark its declaration GAME_EXPORT where it is declared, list it here
// in its section, and make sure the program links its object file (module_export_anchor
// in actors/actor_module.cpp names one symbol of each file the game itself never calls).

// ---- allocator: the one general-purpose heap
extern "C" {
GAME_EXPORT void* dlmalloc(size_t size);
GAME_EXPORT void dlfree(void* p);
GAME_EXPORT void* dlrealloc(void* p, size_t size);
}

// ---- objects (actors/object_lists.h, actors/base_object.h)
//   ObjectList Actor_list ... BirdMonster_list  the 32 lists of ACTOR_OBJECT_LISTS
//   ObjectList deleted_actors                   destroyed objects; the module deletes them
//   ActorBase* local_player                     the player the host flies, or null
//   class BaseObject                            destroy(), onDestroy(), className()

// ---- proximity grid (actors/proximity.h)
//   ProximityBin proximity[1281]
//   void update_proximity(BaseObject*, const float bounds[4])
//   void remove_proximity_object(BaseObject*)
//   void ProximityQuery::proximityQuery(const float rect[4], bool skip_large)
//   BaseObject* ProximityQuery::next()

// ---- world (world/heightmap.h, world/hmGen.h, world/rnd.h)
//   float HeightmapData::hmap[], target_hmap[]; Water water[256][256], tmpw[256][256];
//   Surface surface[]
//   __m128 HeightmapData::calcSquareDepth(__m128 pos, float r, bool with_water)
//   void HeightmapData::addWater(float), reset(), calcHtRange(float&, float&), recenterHt()
//   generators: makeFastNoise, addFastNoise, addSimplexNoise, addVoronoiHills,
//     genVoronoiFaults, genFault, genCrater, placeHouse, blend_ramp_color
//   void walk_map_grid(int level, IWalkMapGrid&); struct GenMapCellPoints
//   uint64_t game_rnd_seed
//   class HeightmapRenderer (markDirty, house_tile_info)

// ---- rendering (render/device.h, render/overlay/*, scene/pipeline/shadows.h)
GAME_EXPORT extern int d3d_wd, d3d_ht; // back-buffer size (render/device.h pulls in SDL)
//   classes RenderBatch, AccumAlloc, BaseRenderBatchState, StdRenderBatchState,
//     DistFontBatchState, DistFont; DistFont default_font
//   void start_dist_font_render(), end_dist_font_render()
//   draw_debug_vis_tri/_line/_solid_box/_cube/_wire_box/_cross_point
//   void render_shadow_ball(vec4f centre, float radius)
//   ColorRamp blend_std_fade_anim, blend_end_fade_anim, blend_rev_fade_anim,
//     glow_std_fade_anim; FloatRamp std_roll_anim, size_05_2_anim, size_05_4_anim

// ---- frame services (platform/log.h, render/error_text.h, game/game.h)
//   void debug(const char* fmt, ...), debug_(...); [[noreturn]] void fatal(fmt, ...)
//   [[noreturn]] void assert_failed(file, line, expr): ASSERT and DynArray's checks
//   void set_error_message(const char*), append_error_message(const char*, int)
//   [[noreturn]] void quit_game(int code)
// Input of this step (platform/input.h, which pulls in SDL); keys are Windows virtual keys.
GAME_EXPORT bool keyDown(int vk);     // went down this step
GAME_EXPORT bool getKeyState(int vk); // held now
GAME_EXPORT extern bool isAppActive;
//   bool should_close_game_menu (actors/actor_module.h): the menu asks to be closed
GAME_EXPORT extern bool should_close_game_menu;

// ---- options (game/settings.h, game/window.h, render/device.h, platform/config.h)
//   int gfx_quality; const char* gfx_quality_name[3]; int land_shadow_quality;
//   bool use_postfx, use_ppaa, use_obj_shadows, app_use_vsync, isFullscreen, shouldHideMouse
GAME_EXPORT void set_fullscreen(bool fullscreen); // game/window.h (pulls in SDL); at once
GAME_EXPORT void set_vsync(bool on);              // render/device.h (pulls in SDL); at once
//   bool save_game_settings(int quality)              launchpad's store; quality: next start
//   bool get_config_str(const char*, char*, int)
//   bool generate_world()                             a new world (world/world_gen_script.h)
//   void request_quit()                               the main loop ends after this step

// ---- GUI runtime (gui/): screens, styles, behaviours, drawing
//   class BaseObject-derived NewGuiElement: parent, children (owned), handlers, property
//     slots (GUI_PROP_PRESSED/CHECKED/HOVER owned by the behaviours), rect, listeners;
//     virtual isHidden, isEnabled, layout(area, x axis, y axis, unit)
//   class NewGuiEvent, NewGuiHittestEvent, NewGuiInputEvent; GUI_EV_* masks
//   class NewGuiEventHandler (handleEvent, attach, detach), NewGuiHittestHandler,
//     ButtonBehavior (onClick), CheckboxBehavior, RadioButtonBehavior and their instances
//     gui_hittest_box_handler, button_behavior, checkbox_behavior, radio_button_behavior
//   register_behavior(handler, name), get_behavior(name), register_std_behaviors()
//   int send_event(event, element, mode, stop); NewGuiElement* hit_test(root, x, y)
//   class BaseGuiProperty, GuiProperty<T>; gui_props(...), gui_behaviors("a\0b\0")
//   class GuiSelector (matches, specificity), GuiStyle (addSheet, restyle, clear)
//   GuiStyle common_style, spells_style
//   class BaseGuiScreen (processInput, processInputEvent, restyle, resetPointer)
//   BaseGuiScreen* cur_game_screen
//   GuiScreenSlot spells_gui_screen, game_menu_screen, game_options_screen and
//     get_gui_screen(slot): set createScreen in link_gui; unbinding deletes the screens,
//     clears the factories, empties both styles and forgets the module's behaviours
//   RenderBatch gui_batch; render_gui_batch()
//   render_rounded_box(batch, rect, radii, colour, softness, shadow x, y, blur, colour,
//     spread); init_ui_image_state(state, texture); render_ui_image(batch, state, rect,
//     colour, texture rect)
//   template WeakRef<T>: reads null once its target is deleted

// ---- particles (fx/particles.h, fx/fx_script.h): effect spawning and trails
//   void add_blend_particle / add_glow_particle(pos, vel (w: drag), accel, life, delay,
//     size, D3dColor, mapU, mapV, mapSize, startRoll, rollScale, const ColorRamp*,
//     const FloatRamp* size, const FloatRamp* roll)   atlases of 512 x 256 pixels
//   int add_trail_fx(pos, vel, side, width, D3dColor)  -1 when all 4000 are in use
//   void add_trail_point(int, pos, vel, side), set_trail_color(int, D3dColor),
//     stop_trail_fx(int) (shrinks away, then the trail is free again), kill_trail_fx(int)
//   void call_fx_script(const char* name, vec4f a, vec4f b, vec4f c, float value)
//     the function `name` of "test/fx.nut"; errors go on screen, nothing is thrown
// ---- instanced rendering (scene/objects/inst_render.h, scene/objects/buildings.h)
//   classes InstRender (init, render, renderShadowBalls, addInstance(s), appendBlock,
//     clearInstances), SimpleInstRender, MorphInstRender, SplineInstRender,
//     BuildingInstRender; records SimpleInstance, MorphInstance, SplineInstance,
//     BuildingInstance; uint32_t pack_inst_row(x, y, z, scale)
//   SimpleInstRender stone1_inst, gatherer_eye_inst, wyvern_head_inst, wyvern_tail_inst
//   MorphInstRender bird_body_inst, gatherer_body_inst
//   SplineInstRender wyvern_body_inst
//   BuildingInstRender roof_corner_inst ... merlon_wall2_inst (house_tile_info[].inst)
//   void init_inst_render_internals()
//   TileRot tile_rot_matrix(int code)
//   bool make_building_instance(const Surface*, int x, int z, BuildingInstance&)
//   void add_house_cell(const Surface*, int x, int z)
//   Matrix44 house_cell_tm(const Surface*, int x, int z)
