#include "platform/log.h"

#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const char* fatal_title = "Veltmoor";
void (*fatal_shutdown)() = nullptr;
bool in_fatal = false;
FILE* log_file = nullptr;
} // namespace

bool start_log_file(const char* path) {
    FILE* f = fopen(path, "w");
    if (!f) return false;
    if (log_file) fclose(log_file);
    log_file = f;
    return true;
}

void vdebug(const char* fmt, va_list args) {
    if (log_file) {
        va_list copy;
        va_copy(copy, args);
        vfprintf(log_file, fmt, copy);
        va_end(copy);
    }
    vfprintf(stdout, fmt, args);
}

void debug_(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vdebug(fmt, args);
    va_end(args);
}

void debug(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vdebug(fmt, args);
    va_end(args);
    fputc('\n', stdout);
    fflush(stdout);
    if (log_file) {
        fputc('\n', log_file);
        fflush(log_file);
    }
}

void set_fatal_context(const char* window_title, void (*shutdown)()) {
    fatal_title = window_title;
    fatal_shutdown = shutdown;
}

bool dialogs_enabled() {
    if (getenv("VELTMOOR_NO_DIALOGS")) return false;
    if (const char* drv = SDL_GetCurrentVideoDriver()) {
        return strcmp(drv, "offscreen") != 0 && strcmp(drv, "dummy") != 0;
    }
    const char* wanted = getenv("SDL_VIDEODRIVER");
    if (wanted && (strcmp(wanted, "offscreen") == 0 || strcmp(wanted, "dummy") == 0)) return false;
    return getenv("DISPLAY") != nullptr || getenv("WAYLAND_DISPLAY") != nullptr;
}

void error_box_title(bool is_fatal, char* out, int size) {
    snprintf(out, size_t(size), is_fatal ? "%s - FATAL ERROR" : "%s - Error", fatal_title);
}

namespace {
void show_error(const char* text, bool is_fatal) {
    debug("ERROR: %s", text);
    if (!dialogs_enabled()) return;
    char title[300];
    error_box_title(is_fatal, title, sizeof(title));
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr);
}
} // namespace

void error_message(const char* text) {
    show_error(text, true);
}

void report_error(const char* text) {
    show_error(text, false);
}

void fatal(const char* fmt, ...) {
    va_list args;
    fputs("\n\n", stderr);
    va_start(args, fmt);
    vfprintf(stderr, fmt, args);
    va_end(args);
    fputs("\n", stderr);
    fflush(stdout);
    fflush(stderr);

    char text[4096];
    va_start(args, fmt);
    vsnprintf(text, sizeof(text), fmt, args);
    va_end(args);

    // A fatal error inside the shutdown must not run the shutdown again.
    if (!in_fatal) {
        in_fatal = true;
        error_message(text);
        if (fatal_shutdown) fatal_shutdown();
    }
    fflush(stdout);
    exit(100);
}

void assert_failed(const char* file, int line, const char* expr) {
    const char* base = file;
    for (const char* p = file; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    const char* dot = strrchr(base, '.');
    int len = dot ? int(dot - base) : int(strlen(base));
    char stem[128];
    snprintf(stem, sizeof(stem), "%.*s", len, base);
    fatal("%s(%d): failed ASSERT(%s)", stem, line, expr);
}
