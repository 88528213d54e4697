// Shader slots, compiling with the include handler, the cache file and hot reload.
//
// [SECTION] slots and define lists
// [SECTION] source assembly and the include handler
// [SECTION] compiling
// [SECTION] cache file
// [SECTION] public interface and reload
#include "render/shaders.h"

#include "platform/file_stream.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "render/device_internal.h"
#include "render/error_text.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

// [SECTION] slots and define lists

namespace {
constexpr uint32_t CACHE_MAGIC = 0x20100715;
constexpr int MAX_INCLUDE_DEPTH = 16;

Shader slots[MAX_SHADERS];
bool have_compiler = false;
bool reloading = false;
bool binaries_logged = false;

// Bytes of a define list including its final terminator.
int defines_length(const char* d) {
    if (!d) return 0;
    const char* p = d;
    while (*p) {
        p += strlen(p) + 1; // name
        p += strlen(p) + 1; // value
    }
    return int(p - d) + 1;
}

bool same_defines(const char* a, const char* b) {
    int la = defines_length(a), lb = defines_length(b);
    if (la <= 1 && lb <= 1) return true;
    return la == lb && memcmp(a, b, size_t(la)) == 0;
}

struct Text {
    DynArray<char> chars;
    void add(const char* s, size_t n) {
        if (n == 0) return;
        int need = chars.num + int(n) + 1;
        if (need > chars.capacity)
            chars.reserve(need > chars.capacity * 2 ? need : chars.capacity * 2);
        memcpy(chars.items + chars.num, s, n);
        chars.num += int(n);
    }
    void add(const char* s) { add(s, strlen(s)); }
    void addf(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        char buf[600];
        va_list args;
        va_start(args, fmt);
        int n = vsnprintf(buf, sizeof(buf), fmt, args);
        va_end(args);
        add(buf, size_t(n < 0 ? 0 : n >= int(sizeof(buf)) ? int(sizeof(buf)) - 1 : n));
    }
    const char* c_str() {
        chars.push_back(0);
        --chars.num;
        return chars.items;
    }
};

void add_dep(Shader* s, const char* name, int64_t time) {
    for (const ShaderDep& d : s->deps)
        if (strcmp(d.name, name) == 0) return;
    ShaderDep d;
    ASSERT_TEXT(strlen(name) < sizeof(d.name), "l<BS");
    snprintf(d.name, sizeof(d.name), "%s", name);
    d.time = time;
    s->deps.push_back(d);
}

int dep_index(Shader* s, const char* name) {
    for (int i = 0; i < s->deps.num; ++i)
        if (strcmp(s->deps[i].name, name) == 0) return i;
    return -1;
}

// [SECTION] source assembly and the include handler

char* read_whole_file(const char* path, size_t& size) {
    FILE* f = open_regular_file(path);
    if (!f) return nullptr;
    char* data = nullptr;
    long len = -1;
    if (fseek(f, 0, SEEK_END) == 0) len = ftell(f);
    if (len >= 0 && fseek(f, 0, SEEK_SET) == 0) {
        data = static_cast<char*>(malloc(size_t(len) + 1));
        if (data && fread(data, 1, size_t(len), f) != size_t(len)) {
            free(data);
            data = nullptr;
        }
    }
    fclose(f);
    if (data) data[len] = 0;
    size = size_t(len);
    return data;
}

// A line `#include "name"`: the name's bounds, or false.
bool parse_include(const char* line, const char* end, const char*& name, int& len) {
    const char* p = line;
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (p == end || *p != '#') return false;
    ++p;
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (end - p < 7 || strncmp(p, "include", 7) != 0) return false;
    p += 7;
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (p == end || *p != '"') return false;
    name = ++p;
    while (p < end && *p != '"') ++p;
    if (p == end) return false;
    len = int(p - name);
    return len > 0;
}

// Appends a file with its includes expanded; every file read becomes a dependency.
// Source-string numbers in #line are dependency indices, so messages can name files.
bool expand_file(Shader* s, const char* name, int depth, Text& out, Text& errors) {
    if (depth > MAX_INCLUDE_DEPTH) {
        errors.addf("%s: includes nested too deeply\n", name);
        return false;
    }
    TempString<260> path = make_full_path(name);
    size_t size = 0;
    char* src = read_whole_file(path, size);
    if (!src) {
        errors.addf("%s: can't open file\n", name);
        return false;
    }
    add_dep(s, name, get_file_time(path));
    int index = dep_index(s, name);
    out.addf("#line 1 %d\n", index);
    bool ok = true;
    int line_no = 1;
    for (const char* line = src; ok && line < src + size; ++line_no) {
        const char* end = static_cast<const char*>(memchr(line, '\n', size_t(src + size - line)));
        if (!end) end = src + size;
        const char* inc;
        int len;
        if (parse_include(line, end, inc, len)) {
            char inc_name[260];
            if (len >= int(sizeof(inc_name))) {
                errors.addf("%s(%d): include name too long\n", name, line_no);
                ok = false;
                break;
            }
            memcpy(inc_name, inc, size_t(len));
            inc_name[len] = 0;
            ok = expand_file(s, inc_name, depth + 1, out, errors);
            out.addf("\n#line %d %d\n", line_no + 1, index);
        } else {
            out.add(line, size_t(end - line));
            out.add("\n");
        }
        line = end + 1;
    }
    free(src);
    return ok;
}

const char* VS_PRELUDE = "out gl_PerVertex { vec4 gl_Position; float gl_PointSize; };\n"
                         "layout(std140, binding = 0) uniform d3d_vs_regs { vec4 vc[256]; vec4 "
                         "d3d_halfpixel; };\n"
                         "#define VARYING out\n";
const char* VS_MAIN = "\nvoid main() {\n"
                      "    vsh();\n"
                      "    gl_Position.xy += d3d_halfpixel.xy * gl_Position.w;\n"
                      "    gl_Position.y = -gl_Position.y;\n"
                      "}\n";
const char* PS_PRELUDE = "layout(std140, binding = 1) uniform d3d_ps_regs { vec4 pc[224]; vec4 "
                         "d3d_alphatest; };\n"
                         "layout(location = 0) out vec4 oC0;\n"
                         "#define VARYING in\n";
const char* PS_MAIN =
    "\nvoid main() {\n"
    "    psh();\n"
    "    if (d3d_alphatest.x != 0.0 && floor(clamp(oC0.a, 0.0, 1.0) * 255.0 + 0.5) < "
    "d3d_alphatest.y) discard;\n"
    "}\n";

bool build_source(Shader* s, bool pixel, Text& out, Text& errors) {
    out.add("#version 450 core\n");
    for (const char* p = s->defines; *p;) {
        const char* value = p + strlen(p) + 1;
        out.addf("#define %s %s\n", p, value);
        p = value + strlen(value) + 1;
    }
    out.add(pixel ? "#define PSH  1\n" : "#define VSH  1\n");
    out.add(pixel ? PS_PRELUDE : VS_PRELUDE);
    if (!expand_file(s, s->file, 0, out, errors)) return false;
    out.add("#line 100000 0\n");
    out.add(pixel ? PS_MAIN : VS_MAIN);
    return true;
}

// [SECTION] compiling

// Compiler text with source-string numbers replaced by file names.
void name_files(Shader* s, const char* log, Text& out) {
    for (const char* line = log; *line;) {
        const char* end = strchr(line, '\n');
        if (!end) end = line + strlen(line);
        const char* p = line;
        int n = 0;
        while (p < end && isdigit(static_cast<unsigned char>(*p))) n = n * 10 + (*p++ - '0');
        if (p > line && p < end && *p == ':' && n < s->deps.num) {
            out.add(s->deps[n].name);
            line = p;
        }
        out.add(line, size_t(end - line));
        if (*end) out.add("\n");
        line = *end ? end + 1 : end;
    }
}

void report_messages(Shader* s, const char* entry, const char* text, int len) {
    if (len <= 0) return;
    debug("GLSL '%s', func '%s':", s->file, entry);
    debug("%.*s", len, text);
    if (reloading) {
        char head[400];
        snprintf(head, sizeof(head), "GLSL '%s', func '%s':", s->file, entry);
        append_error_message(head, -1);
        append_error_message(text, len);
    }
}

GLuint compile_stage(Shader* s, bool pixel) {
    const char* entry = pixel ? "psh" : "vsh";
    Text src, errors;
    bool ok = build_source(s, pixel, src, errors);
    GLuint prog = 0;
    if (ok) {
        GLuint sh = glCreateShader(pixel ? GL_FRAGMENT_SHADER : GL_VERTEX_SHADER);
        const char* text = src.c_str();
        GLint len = src.chars.num;
        glShaderSource(sh, 1, &text, &len);
        glCompileShader(sh);
        GLint status = 0, log_len = 0;
        glGetShaderiv(sh, GL_COMPILE_STATUS, &status);
        glGetShaderiv(sh, GL_INFO_LOG_LENGTH, &log_len);
        if (log_len > 1) {
            char* log = static_cast<char*>(malloc(size_t(log_len)));
            glGetShaderInfoLog(sh, log_len, nullptr, log);
            name_files(s, log, errors);
            free(log);
        }
        if (status) {
            prog = glCreateProgram();
            glProgramParameteri(prog, GL_PROGRAM_SEPARABLE, GL_TRUE);
            glProgramParameteri(prog, GL_PROGRAM_BINARY_RETRIEVABLE_HINT, GL_TRUE);
            glAttachShader(prog, sh);
            glLinkProgram(prog);
            glDetachShader(prog, sh);
        }
        glDeleteShader(sh);
        ok = status != 0;
    }
    report_messages(s, entry, errors.c_str(), errors.chars.num);
    if (!ok) {
        debug("FAILED to compile GLSL shader '%s', func '%s'", s->file, entry);
        return 0;
    }
    GLint linked = 0;
    glGetProgramiv(prog, GL_LINK_STATUS, &linked);
    if (!linked) {
        char log[2048] = "";
        glGetProgramInfoLog(prog, sizeof(log), nullptr, log);
        debug("can't create %s shader from '%s'", pixel ? "pixel" : "vertex", s->file);
        debug("%s", log);
        if (reloading) append_error_message(log, -1);
        glDeleteProgram(prog);
        return 0;
    }
    GLint bin = 0;
    glGetProgramiv(prog, GL_PROGRAM_BINARY_LENGTH, &bin);
    debug("%s (%s): program binary %d bytes", s->file, entry, bin);
    return prog;
}

// The vertex program's inputs, by location.
void read_input_signature(Shader* s) {
    memset(s->sig, 0, sizeof(s->sig));
    GLint count = 0;
    glGetProgramInterfaceiv(s->vprog, GL_PROGRAM_INPUT, GL_ACTIVE_RESOURCES, &count);
    for (GLint i = 0; i < count; ++i) {
        char name[64];
        glGetProgramResourceName(s->vprog, GL_PROGRAM_INPUT, GLuint(i), sizeof(name), nullptr,
                                 name);
        GLint loc = glGetProgramResourceLocation(s->vprog, GL_PROGRAM_INPUT, name);
        int code = vdecl_input_code(name);
        if (loc < 0 || loc >= 16) continue;
        if (code < 0) {
            debug("shader '%s': vertex input '%s' is not a usage name", s->file, name);
            continue;
        }
        s->sig[loc] = uint16_t(code + 1);
    }
    s->layout = vdecl_register_layout(s->sig);
    s->layout_gen = vdecl_layout_generation();
}

void attach_programs(Shader* s) {
    if (!s->pipeline) glCreateProgramPipelines(1, &s->pipeline);
    glUseProgramStages(s->pipeline, GL_VERTEX_SHADER_BIT, s->vprog);
    glUseProgramStages(s->pipeline, GL_FRAGMENT_SHADER_BIT, s->pprog);
    read_input_signature(s);
    if (g_dev.pipeline == s->pipeline) g_dev.input_layout = s->layout;
}

// [SECTION] cache file

void make_cache_path(const Shader* s, char* out, int size) {
    char rel[260];
    get_shader_cache_name(s->file, s->defines, rel, sizeof(rel));
    snprintf(out, size_t(size), "%s", cache_file_path(rel).c_str());
}

// Creates the folders of a path (the cache folder and any below it).
void make_parent_dirs(const char* path) {
    char buf[260];
    snprintf(buf, sizeof(buf), "%s", path);
    for (char* p = buf + 1; *p; ++p) {
        if (*p != '/') continue;
        *p = 0;
        mkdir(buf, 0755);
        *p = '/';
    }
}

// Program binary with its stage and format in front (as Direct3D byte code names its
// shader type): a block of the wrong stage is refused instead of drawing wrongly.
// Empty when the driver gives none.
constexpr int BINARY_HEAD = 8;
void get_binary(GLuint prog, GLenum stage, DynArray<uint8_t>& out) {
    GLint len = 0;
    glGetProgramiv(prog, GL_PROGRAM_BINARY_LENGTH, &len);
    if (len <= 0) return;
    out.reserve(len + BINARY_HEAD);
    out.num = len + BINARY_HEAD;
    GLenum format = 0;
    GLsizei got = 0;
    glGetProgramBinary(prog, len, &got, &format, out.items + BINARY_HEAD);
    if (got <= 0) {
        out.clear();
        return;
    }
    out.num = got + BINARY_HEAD;
    uint32_t head[2] = {uint32_t(stage), uint32_t(format)};
    memcpy(out.items, head, BINARY_HEAD);
}

void write_cache(Shader* s) {
    GLint formats = 0;
    glGetIntegerv(GL_NUM_PROGRAM_BINARY_FORMATS, &formats);
    if (formats <= 0) {
        if (!binaries_logged) debug("the driver has no program binary format: no shader cache");
        binaries_logged = true;
        return;
    }
    DynArray<uint8_t> vcode, pcode;
    get_binary(s->vprog, GL_VERTEX_SHADER, vcode);
    get_binary(s->pprog, GL_FRAGMENT_SHADER, pcode);
    if (!vcode.num || !pcode.num) return;
    char path[260];
    make_cache_path(s, path, sizeof(path));
    make_parent_dirs(path);
    FileOutputStream f;
    if (!f.open(path)) {
        debug("can't open file '%s'", path);
        return;
    }
    try {
        uint32_t names_len = 1;
        for (const ShaderDep& d : s->deps) names_len += uint32_t(strlen(d.name)) + 1;
        uint32_t head[4] = {CACHE_MAGIC, names_len, uint32_t(vcode.num), uint32_t(pcode.num)};
        f.write(head, sizeof(head));
        for (const ShaderDep& d : s->deps) f.write(d.name, int(strlen(d.name)) + 1);
        f.write("", 1);
        f.write(vcode.items, vcode.num);
        f.write(pcode.items, pcode.num);
        f.close();
    } catch (const StreamException& e) {
        debug("can't write shader cache '%s': %s", path, e.message);
        f.close();
        unlink(path);
    }
}

GLuint program_from_binary(const uint8_t* code, uint32_t size, GLenum stage) {
    if (size <= uint32_t(BINARY_HEAD)) return 0;
    uint32_t head[2];
    memcpy(head, code, BINARY_HEAD);
    if (head[0] != stage) return 0;
    GLuint prog = glCreateProgram();
    glProgramParameteri(prog, GL_PROGRAM_SEPARABLE, GL_TRUE);
    clear_gl_errors();
    glProgramBinary(prog, GLenum(head[1]), code + BINARY_HEAD, GLsizei(size - BINARY_HEAD));
    GLint linked = 0;
    glGetProgramiv(prog, GL_LINK_STATUS, &linked);
    if (take_gl_error() || !linked) {
        glDeleteProgram(prog);
        return 0;
    }
    return prog;
}

// Sizes in a cache file are bounded by the file itself before anything is allocated.
bool load_from_cache(Shader* s) {
    char path[260];
    make_cache_path(s, path, sizeof(path));
    s->deps.clear();
    FileInputStream f;
    if (!f.open(path)) return false;
    DynArray<uint8_t> data;
    uint32_t head[4];
    try {
        f.seekEnd(0);
        int64_t file_size = f.tell();
        f.seek(0);
        f.read(head, sizeof(head));
        if (head[0] != CACHE_MAGIC) return false;
        uint64_t total = uint64_t(head[1]) + head[2] + head[3];
        if (head[1] == 0 || total + 16 > uint64_t(file_size)) return false;
        data.reserve(int(total));
        data.num = int(total);
        f.read(data.items, int(total));
    } catch (const StreamException&) {
        return false;
    }
    f.close();
    const char* names = reinterpret_cast<const char*>(data.items);
    if (names[head[1] - 1] != 0) return false;
    for (const char* p = names; p < names + head[1] && *p; p += strlen(p) + 1) {
        if (strlen(p) >= sizeof(ShaderDep::name)) {
            s->deps.clear();
            return false;
        }
        add_dep(s, p, have_compiler ? get_file_time(make_full_path(p)) : 0);
    }
    if (have_compiler) {
        int64_t cache_time = get_file_time(path);
        for (const ShaderDep& d : s->deps)
            if (d.time > cache_time) return false;
    }
    const uint8_t* vcode = data.items + head[1];
    s->vprog = program_from_binary(vcode, head[2], GL_VERTEX_SHADER);
    s->pprog = s->vprog ? program_from_binary(vcode + head[2], head[3], GL_FRAGMENT_SHADER) : 0;
    if (!s->pprog) {
        if (s->vprog) glDeleteProgram(s->vprog);
        s->vprog = 0;
        return false;
    }
    debug("loaded shader '%s' from cache", s->file);
    return true;
}

// Compiles both stages into the slot; on failure the slot's programs are untouched.
bool compile_shader(Shader* s) {
    ASSERT_TEXT(s, "s");
    s->deps.clear();
    GLuint vprog = compile_stage(s, false);
    if (!vprog) return false;
    GLuint pprog = compile_stage(s, true);
    if (!pprog) {
        glDeleteProgram(vprog);
        return false;
    }
    GLuint old_v = s->vprog, old_p = s->pprog;
    s->vprog = vprog;
    s->pprog = pprog;
    if (s->pipeline) attach_programs(s); // before the old programs go
    if (old_v) glDeleteProgram(old_v);
    if (old_p) glDeleteProgram(old_p);
    write_cache(s);
    return true;
}

void free_slot(Shader* s) {
    if (g_dev.pipeline && g_dev.pipeline == s->pipeline) {
        g_dev.pipeline = 0;
        g_dev.input_layout = -1;
        glBindProgramPipeline(0);
    }
    if (s->vprog) glDeleteProgram(s->vprog);
    if (s->pprog) glDeleteProgram(s->pprog);
    if (s->pipeline) glDeleteProgramPipelines(1, &s->pipeline);
    s->vprog = s->pprog = s->pipeline = 0;
    s->deps.clear();
    ASSERT_TEXT(s->deps.num == 0, "empty()");
    s->refcount = 0;
}

bool has_changed(const Shader* s) {
    if (s->deps.num == 0) return true;
    for (const ShaderDep& d : s->deps)
        if (get_file_time(make_full_path(d.name)) != d.time) return true;
    return false;
}
} // namespace

// [SECTION] public interface and reload

void get_shader_cache_name(const char* file, const char* defines, char* out, int size) {
    char suffix[MAX_SHADER_DEFINES * 2] = "";
    int n = 0;
    if (defines) {
        for (const char* p = defines; *p;) {
            for (int pair = 0; pair < 2; ++pair) {
                if (n < int(sizeof(suffix)) - 1) suffix[n++] = '@';
                for (; *p; ++p)
                    if (n < int(sizeof(suffix)) - 1)
                        suffix[n++] = isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                ++p;
            }
        }
    }
    suffix[n] = 0;
    snprintf(out, size_t(size), "cache/%s%s.cache", file, suffix);
}

void load_shader_compiler() {
    const char* off = getenv("VELTMOOR_NO_SHADER_COMPILER");
    have_compiler = !(off && *off && strcmp(off, "0") != 0);
    debug(have_compiler ? "shader compiler available" : "no shader compiler");
    binaries_logged = false;
}

bool shader_compiler_available() {
    return have_compiler;
}

Shader* get_shader(const char* file, const char* defines) {
    ASSERT_TEXT(file, "file");
    int dlen = defines_length(defines);
    Shader* free_one = nullptr;
    for (Shader& s : slots) {
        if (!s.vprog) {
            if (!free_one) free_one = &s;
            continue;
        }
        if (strcmp(s.file, file) == 0 && same_defines(s.defines, defines)) {
            ++s.refcount;
            return &s;
        }
    }
    if (!free_one) fatal("reached maximum shader count!");
    ASSERT_TEXT(strlen(file) < sizeof(free_one->file), "l<BS");
    ASSERT_TEXT(dlen <= MAX_SHADER_DEFINES, "l<BS");
    Shader* s = free_one;
    snprintf(s->file, sizeof(s->file), "%s", file);
    memset(s->defines, 0, sizeof(s->defines));
    if (dlen > 1) memcpy(s->defines, defines, size_t(dlen));
    if (!load_from_cache(s) && !(have_compiler && compile_shader(s))) {
        free_slot(s);
        fatal("can't create shader from %s'%s'", have_compiler ? "" : "cache for ", file);
    }
    s->refcount = 1;
    attach_programs(s);
    return s;
}

void release_shader(Shader* s) {
    if (!s) return;
    ASSERT_TEXT(s->refcount > 0, "s->refcount>0");
    if (--s->refcount == 0) free_slot(s);
}

void set_shader(Shader* s) {
    if (!s) {
        g_dev.pipeline = 0;
        g_dev.input_layout = -1;
        glBindProgramPipeline(0);
        return;
    }
    if (s->layout_gen != vdecl_layout_generation()) {
        s->layout = vdecl_register_layout(s->sig);
        s->layout_gen = vdecl_layout_generation();
    }
    if (g_dev.pipeline != s->pipeline) glBindProgramPipeline(s->pipeline);
    g_dev.pipeline = s->pipeline;
    g_dev.input_layout = s->layout;
}

void reload_shaders(bool force) {
    if (!have_compiler) return;
    bool first = true;
    for (Shader& s : slots) {
        if (!s.vprog || !(force || has_changed(&s))) continue;
        if (first) {
            reloading = true;
            set_error_message(nullptr);
            first = false;
        }
        if (compile_shader(&s)) {
            debug("reloaded shader '%s'", s.file);
        } else {
            char msg[320];
            snprintf(msg, sizeof(msg), "FAILED to reload shader '%s'", s.file);
            append_error_message(msg, -1);
        }
    }
    reloading = false;
}

void close_shaders() {
    for (Shader& s : slots)
        if (s.vprog || s.pipeline) free_slot(&s);
    have_compiler = false;
}

int used_shader_slots() {
    int n = 0;
    for (const Shader& s : slots) n += s.vprog != 0;
    return n;
}
