#include "game/main_loop.h"

#include "platform/timer.h"

namespace {
MainLoopHost* host = nullptr;
int64_t update_step = 1;
int max_catch_up = 5;
int64_t sim_time = 0;
int64_t update_start = 0;
int64_t last_update_duration = 0;
int64_t last_frame_start = 0;
bool quit_requested = false;

int update_ring[STATS_RING_SIZE];
int frame_ring[STATS_RING_SIZE];
int gpu_ring[STATS_RING_SIZE];
int update_index = 0;
int frame_index = 0;
int64_t frame_window[FRAME_WINDOW];
int64_t frame_window_sum = 0;
int frame_window_pos = 0;
int frames_since_mark = 0;
int fps = 0;
int64_t second_mark = 0;

void clear_stats() {
    for (int i = 0; i < STATS_RING_SIZE; ++i) update_ring[i] = frame_ring[i] = gpu_ring[i] = 0;
    for (int64_t& w : frame_window) w = 0;
    update_index = frame_index = frame_window_pos = 0;
    frame_window_sum = 0;
    last_update_duration = 0;
}

void record_frame(int64_t now) {
    int64_t interval = now - last_frame_start;
    frame_ring[frame_index] = get_time_usec(interval);
    frame_window_sum += interval - frame_window[frame_window_pos];
    frame_window[frame_window_pos] = interval;
    frame_window_pos = (frame_window_pos + 1) % FRAME_WINDOW;
    int load = host->gpuLoad();
    gpu_ring[frame_index] = load >= 0 ? load : -1;
    frame_index = (frame_index + 1) % STATS_RING_SIZE;
    ++frames_since_mark;
}

void present_pending_frame() {
    host->present();
    int64_t now = host->now();
    record_frame(now);
    if (now - second_mark >= get_timer_frequency()) {
        fps = frames_since_mark;
        frames_since_mark = 0;
        second_mark = now;
        host->oncePerSecond();
    }
}

void run_update() {
    update_ring[update_index] = get_time_usec(last_update_duration);
    update_index = (update_index + 1) % STATS_RING_SIZE;
    host->pumpMessages();
    update_start = host->now();
    host->update(get_time_sec(update_step));
    last_update_duration = host->now() - update_start;
    host->resetInput();
}
} // namespace

void set_update_rate(int rate, int catch_up) {
    if (rate < 1) rate = 1;
    max_catch_up = catch_up < 0 ? 0 : catch_up;
    update_step = get_timer_frequency() / rate;
    if (update_step < 1) update_step = 1;
}

void reset_update_time() {
    if (host) update_start = host->now();
}

void request_quit() {
    quit_requested = true;
}
bool is_quit_requested() {
    return quit_requested;
}

void run_main_loop(MainLoopHost& h) {
    host = &h;
    int pending_updates = 0;
    bool frame_pending = false;
    sim_time = second_mark = host->now();
    last_frame_start = sim_time;
    frames_since_mark = 0;
    clear_stats();

    while (!quit_requested) {
        run_update();
        if (quit_requested) break;

        // Frame passes until an update is due.
        for (;;) {
            if (frame_pending) {
                present_pending_frame();
                frame_pending = false;
            } else if (!host->checkDevice()) {
                int64_t lag = host->now() - sim_time;
                if (lag > 0) host->sleepMsec(get_time_msec(lag) / 2);
            }
            host->pumpMessages();
            int64_t now = host->now();
            int64_t lag = now - sim_time;
            const int64_t mean_frame = frame_window_sum / FRAME_WINDOW;
            // An update taken early for the coming frame leaves the simulation ahead by up to
            // a frame: that lead counts against the next update, or with frames slower than a
            // step every pass would take one and the game would run fast. Only a clock that
            // went backwards re-bases it.
            if (lag < -(update_step + mean_frame)) sim_time = now, lag = 0;
            if (lag + mean_frame >= update_step) {
                if (++pending_updates <= max_catch_up) {
                    sim_time += update_step;
                    break;
                }
            }
            frame_pending = host->renderFrame(get_time_sec(lag > 0 ? lag : 0));
            if (frame_pending) last_frame_start = now;
            if (pending_updates > max_catch_up) {
                // Too far behind: drop the backlog instead of a burst of updates.
                pending_updates = 0;
                sim_time = host->now();
                break;
            }
            pending_updates = -1;
            if (quit_requested) break;
        }
    }
    if (frame_pending) host->present();
    host->resetInput();
    host = nullptr;
}

const int* get_update_ring() {
    return update_ring;
}
const int* get_frame_ring() {
    return frame_ring;
}
const int* get_gpu_ring() {
    return gpu_ring;
}
int get_update_ring_index() {
    return update_index;
}
int get_frame_ring_index() {
    return frame_index;
}
int get_fps() {
    return fps;
}
int get_update_step_usec() {
    return get_time_usec(update_step);
}
int64_t get_update_step() {
    return update_step;
}
int get_max_catch_up() {
    return max_catch_up;
}

void reset_main_loop_for_tests() {
    quit_requested = false;
}
