#include "platform/paths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

char app_path[260];
AppFolders app_folders;

bool get_exe_filename(char* out, int size) {
    if (size <= 0) return false;
    ssize_t n = readlink("/proc/self/exe", out, size_t(size));
    if (n < 0 || n >= size) {
        out[0] = 0;
        return false;
    }
    out[n] = 0;
    return true;
}

void cut_after_last_separator(char* path) {
    char* cut = path;
    for (char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\' || *p == ':') cut = p + 1;
    *cut = 0;
}

bool get_exe_path(char* out, int size) {
    if (!get_exe_filename(out, size)) return false;
    cut_after_last_separator(out);
    return true;
}

namespace {
// Folds "." and ".." of an absolute path in place; the path never climbs above '/'.
void normalize_absolute(char* path) {
    char out[260];
    int len = 0;
    const char* p = path;
    while (*p) {
        while (*p == '/') ++p;
        const char* seg = p;
        while (*p && *p != '/') ++p;
        int n = int(p - seg);
        if (n == 0 || (n == 1 && seg[0] == '.')) continue;
        if (n == 2 && seg[0] == '.' && seg[1] == '.') {
            while (len > 0 && out[len - 1] != '/') --len;
            if (len > 0) --len;
            continue;
        }
        if (len + 1 + n >= int(sizeof(out))) return; // too long: keep the path as it is
        out[len++] = '/';
        memcpy(out + len, seg, size_t(n));
        len += n;
    }
    bool trailing = p > path && p[-1] == '/';
    if (len == 0 || trailing) {
        if (len + 1 >= int(sizeof(out))) return;
        out[len++] = '/';
    }
    out[len] = 0;
    memcpy(path, out, size_t(len) + 1);
}
} // namespace

TempString<260> make_full_path_from(const char* base, const char* path) {
    TempString<260> r;
    if (!path) {
        snprintf(r.str, sizeof(r.str), "%s", base);
        return r;
    }
    if (path[0] == '/') {
        snprintf(r.str, sizeof(r.str), "%s", path);
    } else {
        int n = snprintf(r.str, sizeof(r.str), "%s%s", base, path);
        if (n >= int(sizeof(r.str))) n = int(sizeof(r.str)) - 1;
        for (int i = int(strlen(base)); i < n; ++i)
            if (r.str[i] == '\\') r.str[i] = '/';
    }
    if (r.str[0] == '/') normalize_absolute(r.str);
    return r;
}

TempString<260> make_full_path(const char* path) {
    return make_full_path_from(app_path, path);
}

int64_t get_file_time(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return 0;
    return int64_t(st.st_mtime);
}

namespace {
bool is_dir(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_file(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

void make_dirs(const char* path) {
    char buf[260];
    snprintf(buf, sizeof(buf), "%s", path);
    for (char* p = buf + 1; *p; ++p) {
        if (*p != '/') continue;
        *p = 0;
        mkdir(buf, 0755);
        *p = '/';
    }
}

// $VAR/veltmoor/, or $HOME/<fallback>/veltmoor/ as the XDG base directories say.
void xdg_folder(const char* var, const char* fallback, char* out, size_t size) {
    const char* base = getenv(var);
    if (base && base[0] == '/') {
        snprintf(out, size, "%s/veltmoor/", base);
        return;
    }
    const char* home = getenv("HOME");
    snprintf(out, size, "%s/%s/veltmoor/", home && *home ? home : "/tmp", fallback);
}
} // namespace

bool locate_app_folders_from(const char* exe_folder) {
    app_folders = AppFolders();
    snprintf(app_folders.exe, sizeof(app_folders.exe), "%s", exe_folder);
    snprintf(app_path, sizeof(app_path), "%s", exe_folder);
    snprintf(app_folders.cache, sizeof(app_folders.cache), "%s", exe_folder);
    snprintf(app_folders.user, sizeof(app_folders.user), "%s", exe_folder);
    snprintf(app_folders.module, sizeof(app_folders.module), "%s", exe_folder);
    if (!exe_folder[0]) return false;

    // A build tree has the data next to the executable; an installed game has none there.
    TempString<260> share = make_full_path_from(exe_folder, "../share/veltmoor/");
    if (is_file(make_full_path_from(exe_folder, "font.tga")) ||
        !is_file(make_full_path_from(share, "font.tga")))
        return true;

    app_folders.installed = true;
    snprintf(app_path, sizeof(app_path), "%s", share.c_str());
    xdg_folder("XDG_CACHE_HOME", ".cache", app_folders.cache, sizeof(app_folders.cache));
    xdg_folder("XDG_DATA_HOME", ".local/share", app_folders.user, sizeof(app_folders.user));
    TempString<260> lib = make_full_path_from(exe_folder, "../lib/veltmoor/");
    if (is_dir(lib.c_str()))
        snprintf(app_folders.module, sizeof(app_folders.module), "%s", lib.c_str());
    make_dirs(make_full_path_from(app_folders.cache, "cache/"));
    make_dirs(make_full_path_from(app_folders.user, "shots/"));
    return true;
}

bool locate_app_folders() {
    char exe[260];
    if (!get_exe_path(exe, sizeof(exe))) exe[0] = 0;
    return locate_app_folders_from(exe);
}

TempString<260> cache_file_path(const char* rel) {
    return make_full_path_from(app_folders.cache[0] ? app_folders.cache : app_path, rel);
}

TempString<260> user_file_path(const char* rel) {
    return make_full_path_from(app_folders.user[0] ? app_folders.user : app_path, rel);
}
