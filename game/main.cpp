// Entry point of game: settings, window, device, systems, main loop, shutdown.
#include "game/game.h"
#include "game/game_mode.h"
#include "game/main_loop.h"
#include "game/screenshot.h"
#include "game/scripted_input.h"
#include "game/settings.h"
#include "game/splash_worker.h"
#include "game/startup_phases.h"
#include "game/window.h"
#include "platform/heap_setup.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/timer.h"
#include "render/device.h"
#include "render/error_text.h"
#include "render/gpu_load.h"
#include "render/overlay/text_overlay.h"
#include "world/rnd.h"

#include <SDL.h>
#include <cstdio>

namespace {
// The real systems behind the main loop.
class GameLoopHost : public MainLoopHost {
  public:
    int frames = 0;
    int updates = 0;
    int64_t update_ticks = 0;

    // A demo runs on a clock that each frame moves one step on, so that a seed and a frame
    // count always give the same game.
    int64_t demo_clock = get_ref_time();

    int64_t now() override { return demo_autopilot ? demo_clock : get_ref_time(); }
    void pumpMessages() override { pump_messages(); }
    void update(float dt) override {
        run_scripted_input(updates + 1);
        int64_t t0 = get_ref_time();
        if (GameMode* mode = get_game_mode()) mode->update(dt);
        update_ticks += get_ref_time() - t0;
        ++updates;
    }
    void resetInput() override { reset_input(); }
    bool renderFrame(float ahead) override { return render_d3d_frame(ahead); }
    void present() override {
        present_d3d();
        if (++frames == 1) startup_phases_end("first frame");
        demo_clock += get_update_step();
        if (automation.quit_after_frames > 0 && frames >= automation.quit_after_frames)
            request_quit();
    }
    bool checkDevice() override { return check_d3d_device(); }
    void sleepMsec(int msec) override { SDL_Delay(Uint32(msec > 0 ? msec : 0)); }
    int gpuLoad() override {
        int percent = -1;
        return get_gpu_load(percent) ? percent : -1;
    }
    void oncePerSecond() override { run_reload_checks(); }
};

// --shot: what the window shows at the end, for tests and comparisons.
void save_last_frame(const char* path) {
    int w = 0, h = 0, pitch = 0;
    auto* pixels = static_cast<unsigned char*>(capture_front_buffer(w, h, pitch));
    if (!pixels) {
        debug("can't capture the last frame");
        return;
    }
    if (write_screenshot_png(path, pixels, w, h, pitch))
        debug("last frame saved to '%s'", path);
    else
        debug("failed to save the last frame to '%s'", path);
    release_front_buffer_capture();
}

void print_stats(const GameLoopHost& host, int64_t loop_ticks) {
    int ms = get_time_msec(loop_ticks);
    double secs = ms > 0 ? ms / 1000.0 : 1e-3;
    printf("stats: %d frames in %d ms (%.1f fps), %d updates (%.1f per s), "
           "mean update %.3f ms\n",
           host.frames, ms, host.frames / secs, host.updates, host.updates / secs,
           host.updates ? get_time_usec(host.update_ticks) / 1000.0 / host.updates : 0.0);
    char phases[1024];
    printf("%s\n", format_startup_phases(phases, sizeof(phases)));
    if (has_error_message()) printf("on-screen error message:\n%s\n", get_error_message());
    fflush(stdout);
}
} // namespace

int main(int argc, char** argv) {
    // Before anything allocates: the software rasteriser's zero-filled targets and per-frame
    // memory then fault in 2 MiB at a time and are never handed back and faulted in again.
    setup_process_heap(size_t(256) << 20);
    if (print_game_help_or_version(argc, argv)) return 0;
    if (locate_app_folders() && app_folders.installed) start_log_file(user_file_path("game.log"));
    debug("app path: '%s'", app_path);
    init_timer();
    startup_phases_begin();
    game_rnd_seed = uint64_t(get_ref_time());
    set_update_rate(20, 5);
    int64_t start_time = get_ref_time();

    // A fatal error on the world generation's thread cannot close the device, which belongs
    // to the main thread: the process just ends with the error's code.
    set_fatal_context(GAME_WINDOW_TITLE, [] {
        if (!on_splash_worker_thread()) close_all_systems();
    });
    if (!register_window_class()) return 1;
    read_startup_settings(argc, argv);
    if (automation.fixed_seed) game_rnd_seed = automation.seed;
    if (automation.input[0]) set_scripted_input(automation.input);
    isFullscreen = is_fullscreen_requested();

    int width = 0, height = 0;
    get_requested_window_size(&width, &height);
    if (!create_game_window(isFullscreen, width, height)) {
        SDL_Quit();
        return 1;
    }
    int client_wd = 0, client_ht = 0;
    get_client_size(&client_wd, &client_ht);
    if (width <= 0) width = client_wd;
    if (height <= 0) height = client_ht;

    startup_phase("window");
    init_input(game_window);
    isAppActive = true;
    if (!init_d3d(game_window, width, height)) fatal("%s", d3d_init_failure());
    startup_phase("device");
    set_input_clamp_size(d3d_wd, d3d_ht);
    if (isFullscreen) SDL_SetWindowGrab(game_window, SDL_TRUE);
    init_text_systems();
    startup_phase("fonts");
    show_splash("Loading...", -1);
    startup_phase("splash");

    init_game();

    debug("total start-up time: %d ms", get_time_msec(get_ref_time() - start_time));
    debug("free video memory: %u MB", get_free_texmem() >> 20);

    GameLoopHost host;
    int64_t loop_start = get_ref_time();
    run_main_loop(host);
    if (automation.print_stats) print_stats(host, get_ref_time() - loop_start);
    if (automation.shot_path[0]) save_last_frame(automation.shot_path);
    close_all_systems();
    return 0;
}
