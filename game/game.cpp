#include "game/game.h"

#include "actors/actor_module.h"
#include "fx/fx_script.h"
#include "fx/particles.h"
#include "game/camera.h"
#include "game/game_mode.h"
#include "game/main_loop.h"
#include "game/settings.h"
#include "game/splash_worker.h"
#include "game/startup_phases.h"
#include "game/window.h"
#include "gui/gui.h"
#include "platform/input.h"
#include "platform/log.h"
#include "render/device.h"
#include "render/error_text.h"
#include "render/gpu_load.h"
#include "render/overlay/debug_vis.h"
#include "render/overlay/dist_font.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/overlay/font.h"
#include "render/overlay/text_overlay.h"
#include "render/shaders.h"
#include "scene/heightmap_renderer.h"
#include "scene/objects/buildings.h"
#include "scene/pipeline/postfx.h"
#include "scene/pipeline/scene_high.h"
#include "scene/pipeline/shadows.h"
#include "scene/scene_render.h"
#include "scene/sky.h"
#include "script/ramps.h"
#include "world/erosion.h"
#include "world/rnd.h"
#include "world/world_gen_script.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
void install_world_gen_hooks() {
    world_gen_hooks.show_splash = [](const char* text, int progress) {
        show_splash_any_thread(text, float(progress));
    };
    world_gen_hooks.set_sun_dir = set_sky_sun_dir_now;
    world_gen_hooks.mark_renderer_dirty = HeightmapRenderer::markDirty;
    world_gen_hooks.set_error_message = set_error_message;
    world_gen_hooks.bind_actor = [](HSQUIRRELVM vm) { actor_module.bind_actor(vm); };
    world_gen_hooks.remove_all_actor = [] { actor_module.remove_all_actor(); };
    world_gen_hooks.before_regeneration = [] {
        if (local_player) local_player->beforeRegeneration();
    };
    world_gen_hooks.after_regeneration = [] {
        if (local_player) local_player->afterRegeneration();
    };
    world_gen_hooks.reset_update_time = reset_update_time;
    world_gen_hooks.reset_common_fx = reset_common_fx;
    // Every new world, at start, from the menu, a key or a script change, is made behind the
    // splash; one asked for by the generation itself just runs.
    world_gen_hooks.run_generation = [](void (*work)()) {
        if (on_splash_worker_thread())
            work();
        else
            run_behind_splash(work);
    };
    // Script functions the module added: looked up in the module bound now. Only its
    // required functions without arguments qualify.
    world_gen_hooks.call_actor_function = [](const char* name) {
        static const char* const names[ACTOR_REQUIRED_COUNT] = {
#define ACTOR_REQUIRED_NAME(n) #n,
            ACTOR_MODULE_REQUIRED(ACTOR_REQUIRED_NAME)
#undef ACTOR_REQUIRED_NAME
        };
        static const char* const no_arguments[] = {"generate_objects", "init_spell_grid",
                                                   "init_fx_data"};
        for (const char* n : no_arguments) {
            if (strcmp(n, name) != 0) continue;
            for (int i = 0; i < ACTOR_REQUIRED_COUNT; ++i)
                if (strcmp(names[i], name) == 0 && actor_module.required[i]) {
                    reinterpret_cast<void (*)()>(actor_module.required[i])();
                    return true;
                }
        }
        return false;
    };
}

// The scene passes call the module through these.
void install_scene_hooks() {
    scene_render_actor = [](float t) { actor_module.render_actor(t); };
    scene_render_actor_shadow = [](float t) { actor_module.render_actor_shadow(t); };
    scene_render_debug_vis = [](float t) { actor_module.render_debug_vis_actor(t); };
    scene_render_building = [](const HeightmapData::Surface* s, int x, int z) {
        actor_module.render_building(s, x, z);
    };
}

void remove_scene_hooks() {
    scene_render_actor = [](float) {};
    scene_render_actor_shadow = [](float) {};
    scene_render_debug_vis = [](float) {};
    scene_render_building = [](const HeightmapData::Surface*, int, int) {};
}

// Without a game-object module the host draws the plots, so that no world shows holes
// where its script placed houses.
void install_house_drawing() {
    if (is_actor_module_bound()) return;
    init_house_renderers();
    scene_render_building = record_house_cell;
    scene_render_actor = [](float) { render_house_cells(); };
    scene_render_actor_shadow = [](float) { render_house_shadows(); };
}
} // namespace

void init_game() {
    set_update_rate(20, 5);
    init_std_ramps();
    debug("Graphics quality: %s", gfx_quality_name[gfx_quality]);
    init_scene_tex();
    if (gfx_quality == 1)
        init_deferred_shaders();
    else
        use_postfx = false;
    startup_phase("scene shaders");
    init_sky();
    startup_phase("sky");
    HeightmapRenderer::init(gfx_quality);
    startup_phase("terrain renderer");
    init_postfx_high();
    init_debug_vis();
    startup_phase("post-effects");
    debug("game_rnd_seed=%llu;", (unsigned long long)game_rnd_seed);
    setMousePos(float(d3d_wd / 2), float(d3d_ht / 2));

    init_gui();
    load_game_module("module/", "main.ls");
    actor_module.init_inst_render();
    install_scene_hooks();
    install_house_drawing();
    init_common_fx();
    scene_render_common_fx = render_common_fx;
    if (gfx_quality == 1) init_shadows();
    actor_module.init_actor();
    actor_module.init_new_gui();
    actor_module.init_spells_ui();

    startup_phase("module");
    init_fx_script();
    install_world_gen_hooks();
    init_world_gen();
    generate_world(); // behind the splash (the hook above), so the window stays alive
    startup_phase("world generation");

    if (local_player) {
        vec4f eye;
        local_player->eyePosition(eye);
        set_camera_pos(eye);
    } else {
        place_start_camera();
    }
    set_game_mode(&play_game_mode);
}

void close_game() {
    close_world_gen();
    close_fx_script();
    actor_module.close_spells_ui();
    actor_module.close_actor();
    set_game_mode(nullptr);
    remove_scene_hooks();
    unload_game_module(); // its screens and styles go with it
    close_gui();
    close_debug_vis();
    close_inst_renderers();
    close_common_fx();
    close_shadows();
    close_deferred_shaders();
    close_postfx_high();
    HeightmapRenderer::close();
    close_sky();
    close_scene_tex();
}

void place_start_camera() {
    // Above the highest ground around the map's centre, looking a little down.
    float top = -1e30f;
    for (int z = 96; z < 160; z += 4)
        for (int x = 96; x < 160; x += 4) top = fmaxf(top, HeightmapData::hmap[hm_index(x, z)]);
    set_camera_pos(make4f(128.0f, top + 12.0f, 128.0f, 1.0f));
    camera.pitch = -0.3f;
}

void run_reload_checks() {
    reload_shaders(false);
    check_game_module();
    reload_sky();
    check_world_gen_reload();
    reload_fx_script();
}

void close_all_systems() {
    debug("closing...");
    close_game();
    close_text_systems();
    close_gpu_load();
    close_d3d();
    reset_input();
    destroy_game_window();
    SDL_Quit();
    debug("closed all systems");
}

void quit_game(int code) {
    close_all_systems();
    exit(code);
}

void init_text_systems() {
    common_vb_writer.create(COMMON_VB_SIZE);
    init_gpu_load();
    init_font();
    init_dist_fonts();
    if (!default_font.load("default_font.fnt")) debug("can't load default_font.fnt");
    on_d3d_render_frame = render_game_frame;
    on_d3d_resized = [] {
        update_font_scale();
        actor_module.spells_ui_after_resize();
    };
    erosion_progress_hook = show_splash_any_thread;
    scene_show_splash = show_splash;
}

void close_text_systems() {
    erosion_progress_hook = nullptr;
    scene_show_splash = nullptr;
    on_d3d_resized = nullptr;
    on_d3d_render_frame = nullptr;
    default_font.clear();
    close_dist_fonts();
    close_font();
    common_vb_writer.release();
}
