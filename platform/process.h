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

// A child whose standard output and error come back through a non-blocking pipe.
struct PipedProcess {
    int pid = -1;
    int fd = -1; // read end; -1 once closed
};

// Starts `path` (searched in PATH when it has no '/') in folder `cwd` (null: ours).
bool start_piped_process(const char* path, const char* const* argv, const char* cwd,
                         PipedProcess& proc, char* error, int error_size);
// Bytes read into buf; 0 when nothing is there yet; -1 at the end of the output.
int read_piped_process(PipedProcess& proc, char* buf, int size);
// Closes the pipe and collects the exit code (128 + signal when killed). False while the
// child has not ended yet: call again later. Never blocks.
bool finish_piped_process(PipedProcess& proc, int& exit_code);
