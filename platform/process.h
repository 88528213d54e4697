// Starting child processes that run on their own (the launcher starting the game,
// a web address opened with the desktop's handler).
#pragma once

// Starts `path` (a name without '/' is searched in PATH) with the given argv (null-terminated;
// argv[0] is usually `path`) in a session of its own and does not wait for it. The child inherits
// the environment and the standard streams. On failure returns false and writes the reason into
// `error`.
bool start_detached_process(const char* path, const char* const* argv, char* error, int error_size);

// Collects children started above that have ended, so they do not linger as zombies
// while the starting program keeps running. Never blocks.
void reap_detached_processes();
