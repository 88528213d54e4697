#include "platform/config.h"

#include "platform/file_stream.h"
#include "platform/log.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// File format, one value per line, '#' starts a comment:
//   flags int 13
//   gfx_quality str "high"
// Strings are quoted with the escapes \\ \" \n \t \r and \xHH for any other byte.

namespace {
struct Entry {
    std::string name;
    bool is_int = false;
    int ival = 0;
    std::string sval;
};

constexpr size_t MAX_FILE_BYTES = 1 << 20;

std::string config_dir() {
    if (const char* d = getenv("VELTMOOR_CONFIG_DIR"); d && *d) return d;
    std::string base;
    if (const char* x = getenv("XDG_CONFIG_HOME"); x && *x) {
        base = x;
    } else {
        const char* home = getenv("HOME");
        base = std::string(home && *home ? home : ".") + "/.config";
    }
    return base + "/Quillfen Games/Veltmoor";
}

std::string config_file() {
    return config_dir() + "/settings";
}

bool valid_name(const char* name) {
    if (!name || !*name || strlen(name) > 255) return false;
    for (const char* p = name; *p; ++p) {
        unsigned char c = *p;
        if (!(isalnum(c) || c == '_' || c == '-' || c == '.')) return false;
    }
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parse_quoted(const char* p, std::string& out) {
    if (*p++ != '"') return false;
    out.clear();
    while (*p && *p != '"') {
        char c = *p++;
        if (c != '\\') {
            out += c;
            continue;
        }
        char e = *p++;
        switch (e) {
        case '\\':
            out += '\\';
            break;
        case '"':
            out += '"';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case 'x': {
            int hi = hex_digit(p[0]), lo = hi < 0 ? -1 : hex_digit(p[1]);
            if (lo < 0) return false;
            out += char(hi * 16 + lo);
            p += 2;
            break;
        }
        default:
            return false;
        }
    }
    if (*p != '"') return false;
    for (++p; *p == ' ' || *p == '\t' || *p == '\r'; ++p) {
    }
    return *p == 0;
}

bool parse_int(const char* p, int& out) {
    char* end = nullptr;
    errno = 0;
    long long v = strtoll(p, &end, 10);
    if (end == p || errno != 0 || v < INT32_MIN || v > UINT32_MAX) return false;
    while (*end == ' ' || *end == '\t' || *end == '\r') ++end;
    if (*end) return false;
    out = int(uint32_t(v)); // values above INT_MAX come from unsigned writers
    return true;
}

bool parse_line(const std::string& line, Entry& e) {
    char name[256], type[8];
    int used = 0;
    if (sscanf(line.c_str(), " %255s %7s %n", name, type, &used) != 2) return false;
    if (!valid_name(name)) return false;
    e.name = name;
    const char* rest = line.c_str() + used;
    if (strcmp(type, "int") == 0) {
        e.is_int = true;
        return parse_int(rest, e.ival);
    }
    if (strcmp(type, "str") == 0) return parse_quoted(rest, e.sval);
    return false;
}

// Reads every good entry; a missing file is an empty store. Later duplicates win.
std::vector<Entry> load_entries(const std::string& path) {
    std::vector<Entry> entries;
    FILE* f = open_regular_file(path.c_str());
    if (!f) return entries;
    std::string data;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0 && data.size() < MAX_FILE_BYTES)
        data.append(buf, n);
    fclose(f);

    // Every getter reads the file again; its bad lines are news only once per content.
    static size_t reported = 0;
    size_t signature = std::hash<std::string>()(path + '\n' + data);
    bool report = signature != reported;
    size_t pos = 0;
    int line_no = 0;
    while (pos < data.size()) {
        size_t nl = data.find('\n', pos);
        if (nl == std::string::npos) nl = data.size();
        std::string line = data.substr(pos, nl - pos);
        pos = nl + 1;
        ++line_no;
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        Entry e;
        if (line.find('\0') != std::string::npos || !parse_line(line, e)) {
            if (report) debug("settings: ignoring bad line %d of '%s'", line_no, path.c_str());
            reported = signature;
            continue;
        }
        bool replaced = false;
        for (Entry& old : entries)
            if (old.name == e.name) {
                old = e;
                replaced = true;
            }
        if (!replaced) entries.push_back(e);
    }
    return entries;
}

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 32 || c == 127) {
            char hex[8];
            snprintf(hex, sizeof(hex), "\\x%02x", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

bool make_dirs(const std::string& dir) {
    std::string partial;
    size_t pos = 0;
    while (pos <= dir.size()) {
        size_t slash = dir.find('/', pos);
        if (slash == std::string::npos) slash = dir.size();
        partial = dir.substr(0, slash);
        if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
        pos = slash + 1;
    }
    struct stat st;
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool write_all(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Temporary file, flush to disk, rename: a reader sees the old or the new file, never half.
bool save_entries(const std::vector<Entry>& entries) {
    std::string dir = config_dir();
    if (!make_dirs(dir)) return false;
    std::string text = "# Veltmoor settings: <name> int <value> | <name> str \"<text>\"\n";
    for (const Entry& e : entries) {
        text += e.name;
        text += e.is_int ? " int " + std::to_string(e.ival) : " str " + quote(e.sval);
        text += '\n';
    }
    std::string path = config_file();
    std::string tmp = path + ".tmp" + std::to_string(getpid());
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = write_all(fd, text) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && rename(tmp.c_str(), path.c_str()) == 0) return true;
    unlink(tmp.c_str());
    return false;
}

bool set_entry(const Entry& e) {
    if (!valid_name(e.name.c_str())) return false;
    std::vector<Entry> entries = load_entries(config_file());
    bool replaced = false;
    for (Entry& old : entries)
        if (old.name == e.name) {
            old = e;
            replaced = true;
        }
    if (!replaced) entries.push_back(e);
    return save_entries(entries);
}

const Entry* find_entry(const std::vector<Entry>& entries, const char* name) {
    if (!name) return nullptr;
    for (const Entry& e : entries)
        if (e.name == name) return &e;
    return nullptr;
}
} // namespace

bool set_config_int(const char* name, int value) {
    if (!valid_name(name)) return false;
    Entry e;
    e.name = name;
    e.is_int = true;
    e.ival = value;
    return set_entry(e);
}

bool set_config_str(const char* name, const char* str, int length) {
    if (!valid_name(name) || !str) return false;
    Entry e;
    e.name = name;
    e.sval.assign(str, length < 0 ? strlen(str) : size_t(length));
    return set_entry(e);
}

bool get_config_int(const char* name, int& out) {
    std::vector<Entry> entries = load_entries(config_file());
    const Entry* e = find_entry(entries, name);
    if (!e || !e->is_int) return false;
    out = e->ival;
    return true;
}

bool get_config_str(const char* name, char* buffer, int size) {
    if (!buffer || size <= 0) return false;
    std::vector<Entry> entries = load_entries(config_file());
    const Entry* e = find_entry(entries, name);
    if (!e || e->is_int || e->sval.size() > size_t(size - 1)) return false;
    memcpy(buffer, e->sval.data(), e->sval.size());
    buffer[e->sval.size()] = 0;
    return true;
}

const char* get_config_file_path() {
    static std::string path;
    path = config_file();
    return path.c_str();
}
