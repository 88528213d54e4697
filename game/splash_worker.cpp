#include "game/splash_worker.h"

#include "render/overlay/text_overlay.h"

#include <SDL.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {
std::mutex lock;
std::condition_variable wake;
std::thread::id main_id;
bool running = false, done = false, changed = false;
char text[SPLASH_TEXT];
float progress = -1.0f;
std::atomic<int> redraws = 0;
} // namespace

void show_splash_any_thread(const char* t, float p) {
    {
        std::lock_guard<std::mutex> g(lock);
        if (running && std::this_thread::get_id() != main_id) {
            snprintf(text, sizeof(text), "%s", t ? t : "");
            progress = p;
            changed = true;
            wake.notify_one();
            return;
        }
    }
    show_splash(t, p);
}

void run_behind_splash(void (*work)()) {
    {
        std::lock_guard<std::mutex> g(lock);
        running = true;
        main_id = std::this_thread::get_id();
        done = changed = false;
        redraws = 0;
    }
    std::thread worker([work] {
        work();
        std::lock_guard<std::mutex> g(lock);
        done = true;
        wake.notify_one();
    });
    std::unique_lock<std::mutex> g(lock);
    while (!done) {
        // Often enough that the window system never sees a hung window.
        wake.wait_for(g, std::chrono::milliseconds(50), [] { return done || changed; });
        if (changed) {
            char shown[SPLASH_TEXT];
            snprintf(shown, sizeof(shown), "%s", text);
            float p = progress;
            changed = false;
            g.unlock();
            show_splash(shown, p);
            ++redraws;
            g.lock();
        }
        g.unlock();
        SDL_PumpEvents();
        g.lock();
    }
    running = false;
    g.unlock();
    worker.join();
}

bool on_splash_worker_thread() {
    std::lock_guard<std::mutex> g(lock);
    return running && std::this_thread::get_id() != main_id;
}

int splash_worker_redraws() {
    return redraws.load();
}
