// The launcher's window over SDL: its event handler (the window procedure), painting
// the software frame buffer, the main loop and the program's start and end.
#pragma once

#include <SDL.h>

extern SDL_Window* launcher_window;

// Window events the launcher reacts to; the rest becomes queued input.
void launcher_window_proc(const SDL_Event& ev);
// Removes and handles all pending events; true when one other than a repaint arrived.
bool pump_launcher_messages();
void paint_launcher_window(); // resizes the frame buffer to the client size first
// The main loop: runs until Start, Quit or the window closing.
void run_launcher_loop();

// Start-up up to the main loop: window, input, settings, renderer, font and screen.
// False when the window cannot be created.
bool start_launcher(int argc, char** argv);
// Whole program: start-up, loop, closing. Returns the exit code.
int launcher_main(int argc, char** argv);
// Closing sequence (also run by fatal errors).
void close_launcher_all();
