// Long start-up work off the main thread: the window keeps answering the window system and
// the splash keeps showing how far the work has come.
#pragma once

// Runs work() on a worker thread and returns when it has finished. Meanwhile the calling
// (main) thread pumps the window system's events, leaving them queued for the main loop,
// and redraws the splash whenever the worker changes it. The work must not use the render
// device; it reports through show_splash_any_thread.
void run_behind_splash(void (*work)());

// show_splash from any thread: drawn at once on the main thread (or when no work runs
// behind the splash), otherwise handed to the main thread's wait in run_behind_splash.
// Fits erosion_progress_hook.
void show_splash_any_thread(const char* text, float progress);

// True on the worker thread of run_behind_splash while it runs.
bool on_splash_worker_thread();

// Splash frames the main thread drew while work ran behind the splash (for tests).
int splash_worker_redraws();
