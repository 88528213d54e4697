#include "platform/process.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
constexpr int MAX_TRACKED = 16;
pid_t tracked[MAX_TRACKED];
int num_tracked = 0;

void track(pid_t pid) {
    reap_detached_processes();
    if (num_tracked < MAX_TRACKED) tracked[num_tracked++] = pid;
}
} // namespace

bool start_detached_process(const char* path, const char* const* argv, char* error,
                            int error_size) {
    if (error && error_size > 0) error[0] = 0;
    if (!path || !*path || !argv || !argv[0]) {
        if (error) snprintf(error, size_t(error_size), "no program given");
        return false;
    }
    bool search = !strchr(path, '/');
    // posix_spawn reports a missing program only on some C libraries; say why here.
    if (!search && access(path, X_OK) != 0) {
        if (error) snprintf(error, size_t(error_size), "%s: %s", path, strerror(errno));
        return false;
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A session of its own: closing the starter's terminal or process group leaves it running.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    char* const* args = const_cast<char* const*>(argv);
    int rc = search ? posix_spawnp(&pid, path, nullptr, &attr, args, environ)
                    : posix_spawn(&pid, path, nullptr, &attr, args, environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        if (error) snprintf(error, size_t(error_size), "%s: %s", path, strerror(rc));
        return false;
    }
    track(pid);
    return true;
}

void reap_detached_processes() {
    for (int i = 0; i < num_tracked;) {
        int status = 0;
        pid_t r = waitpid(tracked[i], &status, WNOHANG);
        if (r == tracked[i] || (r < 0 && errno == ECHILD)) {
            tracked[i] = tracked[--num_tracked];
        } else {
            ++i;
        }
    }
}

bool start_piped_process(const char* path, const char* const* argv, const char* cwd,
                         PipedProcess& proc, char* error, int error_size) {
    if (error && error_size > 0) error[0] = 0;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        if (error) snprintf(error, size_t(error_size), "pipe: %s", strerror(errno));
        return false;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 2);
    if (cwd && *cwd) posix_spawn_file_actions_addchdir_np(&fa, cwd);
    pid_t pid = 0;
    char* const* args = const_cast<char* const*>(argv);
    int rc = strchr(path, '/') ? posix_spawn(&pid, path, &fa, nullptr, args, environ)
                               : posix_spawnp(&pid, path, &fa, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        if (error) snprintf(error, size_t(error_size), "%s: %s", path, strerror(rc));
        return false;
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    proc.pid = pid;
    proc.fd = fds[0];
    return true;
}

int read_piped_process(PipedProcess& proc, char* buf, int size) {
    if (proc.fd < 0) return -1;
    for (;;) {
        ssize_t n = read(proc.fd, buf, size_t(size));
        if (n > 0) return int(n);
        if (n == 0) return -1;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

bool finish_piped_process(PipedProcess& proc, int& exit_code) {
    if (proc.fd >= 0) {
        close(proc.fd);
        proc.fd = -1;
    }
    if (proc.pid < 0) return true;
    int status = 0;
    pid_t r = waitpid(proc.pid, &status, WNOHANG);
    if (r == 0) return false;
    exit_code = r < 0                 ? -1
                : WIFEXITED(status)   ? WEXITSTATUS(status)
                : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                      : -1;
    proc.pid = -1;
    return true;
}
