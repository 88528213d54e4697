#include "platform/paths.h"

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

char app_path[260];

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

TempString<260> make_full_path(const char* path) {
    TempString<260> r;
    if (!path) {
        snprintf(r.str, sizeof(r.str), "%s", app_path);
        return r;
    }
    if (path[0] == '/') {
        snprintf(r.str, sizeof(r.str), "%s", path);
    } else {
        int n = snprintf(r.str, sizeof(r.str), "%s%s", app_path, path);
        if (n >= int(sizeof(r.str))) n = int(sizeof(r.str)) - 1;
        for (int i = int(strlen(app_path)); i < n; ++i)
            if (r.str[i] == '\\') r.str[i] = '/';
    }
    if (r.str[0] == '/') normalize_absolute(r.str);
    return r;
}

int64_t get_file_time(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return 0;
    return int64_t(st.st_mtime);
}
