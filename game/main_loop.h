// The fixed-step main loop: 20 simulation updates per second of simulated time,
// frames as often as the device takes them, at most max_catch_up + 1 updates back to
// back before a frame is forced and the simulation clock is re-based on the present.
#pragma once

#include "platform/game_export.h"

#include <cstdint>

// What the loop drives. The game passes its real systems; tests pass fakes.
class MainLoopHost {
  public:
    virtual ~MainLoopHost() = default;
    virtual int64_t now() = 0;                 // clock ticks
    virtual void pumpMessages() = 0;           // may call request_quit()
    virtual void update(float dt) = 0;         // the current game mode's step
    virtual void resetInput() = 0;             // events live for one step
    virtual bool renderFrame(float ahead) = 0; // false: the GPU is behind, retry later
    virtual void present() = 0;
    virtual bool checkDevice() = 0; // false while the device is lost
    virtual void sleepMsec(int msec) = 0;
    virtual int gpuLoad() = 0;        // percent, or -1
    virtual void oncePerSecond() = 0; // reload checks
};

enum { STATS_RING_SIZE = 200, FRAME_WINDOW = 5 };

void set_update_rate(int rate, int catch_up);
void reset_update_time();
void run_main_loop(MainLoopHost& host);
GAME_EXPORT void request_quit(); // the quit message arrived
bool is_quit_requested();
void reset_main_loop_for_tests(); // clears the quit flag between runs in one process

// Statistics for the overlay.
const int* get_update_ring();
const int* get_frame_ring();
const int* get_gpu_ring();
int get_update_ring_index();
int get_frame_ring_index();
int get_fps();
int get_update_step_usec();
int64_t get_update_step();
int get_max_catch_up();
