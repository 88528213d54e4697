// [SECTION] function table   [SECTION] layout check   [SECTION] binding
// [SECTION] source tracking  [SECTION] rebuild        [SECTION] swap and load
#include "actors/actor_module.h"

#include "platform/dynlib.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/timer.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>
#include <typeinfo>

bool should_close_game_menu = false;
void (*module_unbind_hook)() = nullptr;

// [SECTION] function table

namespace {
template <typename F>
struct Noop;
template <typename R, typename... A>
struct Noop<R (*)(A...)> {
    static R call(A...) { return R(); }
};

ActorModule unbound_table() {
    ActorModule m{};
#define ACTOR_SET_NOOP(name, ret, args) m.name = &Noop<decltype(m.name)>::call;
    ACTOR_MODULE_FUNCTIONS(ACTOR_SET_NOOP)
#undef ACTOR_SET_NOOP
    return m;
}

constexpr const char* MODULE_FILE = "actor.so";
constexpr const char* NEW_MODULE_FILE = "actor_new.so";

void* module_handle = nullptr;
void* kept_tables[ACTOR_CLASS_COUNT];
ActorLayout kept_layout;
bool have_kept_layout = false;
} // namespace

ActorModule actor_module = unbound_table();

bool is_actor_module_bound() {
    return module_handle != nullptr;
}

// [SECTION] layout check

namespace {
int kept_class_of(const BaseObject* obj) {
    void* table;
    memcpy(&table, static_cast<const void*>(obj), sizeof(table));
    int k = 1;
    while (k < ACTOR_CLASS_COUNT && kept_tables[k] != table) ++k;
    return k;
}

// Only classes with listed objects matter: a class without any may change freely.
void classes_with_live_objects(bool live[ACTOR_CLASS_COUNT]) {
    memset(live, 0, ACTOR_CLASS_COUNT * sizeof(bool));
    for (const ObjectList* list : actor_lists)
        for (const BaseObject* obj : *list) {
            int k = kept_class_of(obj);
            if (k < ACTOR_CLASS_COUNT) live[k] = true;
        }
}

// Why a module must not be bound ("" when fine): built against another boundary header,
// or a class whose objects are live changed its size since the module bound before.
void check_layout(const ActorLayout* l, char* why, int size) {
    why[0] = 0;
    if (!l) {
        snprintf(why, size_t(size), "it reports no layout (no get_actor_layout)");
        return;
    }
    ActorLayout host = shared_actor_layout();
    if (l->version != host.version) {
        snprintf(why, size_t(size), "layout version %d, the game's is %d", l->version,
                 host.version);
        return;
    }
    struct Field {
        const char* name;
        int module, game;
    } fields[] = {
        {"BaseObject", l->base_object_size, host.base_object_size},
        {"object list", l->object_list_size, host.object_list_size},
        {"ProximityQuery", l->proximity_query_size, host.proximity_query_size},
        {"vec4f", l->vec4f_size, host.vec4f_size},
        {"Surface", l->surface_size, host.surface_size},
        {"Water", l->water_size, host.water_size},
        {"RenderBatch", l->render_batch_size, host.render_batch_size},
    };
    for (const Field& f : fields) {
        if (f.module == f.game) continue;
        snprintf(why, size_t(size), "%s is %d bytes, the game's is %d", f.name, f.module, f.game);
        return;
    }
    if (!have_kept_layout) return;
    bool live[ACTOR_CLASS_COUNT];
    classes_with_live_objects(live);
    for (int i = 1; i < ACTOR_CLASS_COUNT; ++i) {
        if (!live[i] || l->class_sizes[i] == kept_layout.class_sizes[i]) continue;
        snprintf(why, size_t(size), "class %d (%s) changed from %d to %d bytes", i,
                 l->class_names[i] ? l->class_names[i] : "?", kept_layout.class_sizes[i],
                 l->class_sizes[i]);
        return;
    }
}

const ActorLayout* module_layout(void* lib) {
    auto get = reinterpret_cast<GetActorLayout>(find_library_symbol(lib, "get_actor_layout"));
    return get ? get() : nullptr;
}
} // namespace

// [SECTION] binding

void rebind_objects(void* const* old_tables, void* const* new_tables) {
    for (ObjectList* list : actor_lists) {
        for (BaseObject* obj : *list) {
            if (obj->flags & OBJ_REBOUND) continue;
            obj->flags |= OBJ_REBOUND;
            void* table;
            memcpy(&table, static_cast<void*>(obj), sizeof(table));
            int k = 1;
            while (k < ACTOR_CLASS_COUNT && old_tables[k] != table) ++k;
            if (k == ACTOR_CLASS_COUNT) fatal("cannot find object vtable");
            memcpy(static_cast<void*>(obj), &new_tables[k], sizeof(void*));
        }
    }
    for (ObjectList* list : actor_lists)
        for (BaseObject* obj : *list) obj->flags &= ~uint32_t(OBJ_REBOUND);
}

namespace {
void* find_function(GetActorFuncByName by_name, const char* name) {
    void* f = by_name(name);
    if (!f) fatal("no \"%s\" function in %s", name, MODULE_FILE);
    return f;
}

void bind_game_module() {
    auto by_name = reinterpret_cast<GetActorFuncByName>(
        find_library_symbol(module_handle, "get_actor_func_by_name"));
    auto vtables =
        reinterpret_cast<GetActorVtables>(find_library_symbol(module_handle, "get_actor_vtables"));
    if (!by_name || !vtables) fatal("invalid %s", MODULE_FILE);

    ActorModule m{};
#define ACTOR_FIND(name, ret, args)                                                                \
    m.name = reinterpret_cast<decltype(m.name)>(find_function(by_name, #name));
    ACTOR_MODULE_FUNCTIONS(ACTOR_FIND)
#undef ACTOR_FIND
    int n = 0;
#define ACTOR_FIND_REQUIRED(name) m.required[n++] = find_function(by_name, #name);
    ACTOR_MODULE_REQUIRED(ACTOR_FIND_REQUIRED)
#undef ACTOR_FIND_REQUIRED

    int count = 0;
    void* const* tables = vtables(&count);
    if (count != ACTOR_CLASS_COUNT) fatal("actor classes changed, need restart");
    rebind_objects(kept_tables, tables);
    memcpy(kept_tables, tables, sizeof(kept_tables));
    if (const ActorLayout* l = module_layout(module_handle)) {
        kept_layout = *l;
        have_kept_layout = true;
    }
    actor_module = m;
    reinterpret_cast<LinkGuiFunc>(find_function(by_name, "link_gui"))();
}

void unbind_game_module() {
    actor_module = unbound_table();
    if (module_unbind_hook) module_unbind_hook();
}

void release_game_module() {
    unbind_game_module();
    close_library(module_handle);
    module_handle = nullptr;
    TempString<260> path = make_full_path(MODULE_FILE);
    // Unique symbols (inline statics) pin a library; loading "again" would get the old one.
    if (is_library_loaded(path)) debug("!!! %s stayed loaded after release", MODULE_FILE);
}

// Loads actor.so; fatal when it cannot be loaded or does not match this game.
void open_game_module() {
    TempString<260> path = make_full_path(MODULE_FILE);
    module_handle = open_library(path);
    if (!module_handle) {
        debug("%s", library_error());
        fatal("can't load %s", MODULE_FILE);
    }
    char why[256];
    check_layout(module_layout(module_handle), why, sizeof(why));
    if (why[0]) fatal("%s does not match this game: %s", MODULE_FILE, why);
}
} // namespace

// [SECTION] source tracking

namespace {
struct TrackedSource {
    char path[260];
    int64_t time;
};

char source_folder[260];
char root_source[260];
DynArray<TrackedSource> tracked;

void track_source(const char* path) {
    TempString<260> full = make_full_path(path);
    for (const TrackedSource& t : tracked)
        if (strcasecmp(t.path, full) == 0) return;
    FILE* f = fopen(full, "r");
    if (!f) return;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        fclose(f);
        return;
    }
    TrackedSource rec;
    snprintf(rec.path, sizeof(rec.path), "%s", full.c_str());
    rec.time = get_file_time(full);
    tracked.push_back(rec);
    char line[256];
    while (fgets(line, sizeof(line), f)) {
        if (strncmp(line, "import ", 7) != 0) continue;
        const char* p = line + 7;
        while (*p == ' ' || *p == '\t') ++p;
        char name[260];
        int n = snprintf(name, sizeof(name), "%s", source_folder);
        for (; *p && !strchr(" \t\r\n", *p) && n < 255; ++p) name[n++] = *p == '.' ? '/' : *p;
        snprintf(name + n, sizeof(name) - size_t(n), ".ls");
        track_source(name);
    }
    fclose(f);
}

void retrack_sources() {
    tracked.num = 0;
    if (root_source[0]) track_source(root_source);
}

bool sources_changed() {
    for (const TrackedSource& t : tracked)
        if (get_file_time(t.path) != t.time) return true;
    return false;
}
} // namespace

int tracked_module_source_count() {
    return tracked.num;
}

const char* tracked_module_source(int i) {
    return i >= 0 && i < tracked.num ? tracked[i].path : "";
}

// [SECTION] rebuild

namespace {
PipedProcess rebuild;
bool rebuilding = false;
int64_t rebuild_start = 0;
char pending_line[1024];
int pending_len = 0;

bool is_word_char(char c) {
    return isalnum(static_cast<unsigned char>(c)) || c == '_';
}

void handle_line(const char* line) {
    printf("%s\n", line);
    fflush(stdout);
    if (!is_error_line(line)) return;
    append_error_message(line, -1);
    append_error_message("\n", 1);
}

void flush_pending_line() {
    pending_line[pending_len] = 0;
    handle_line(pending_line);
    pending_len = 0;
}

// Takes what the rebuild wrote so far; true once its output has ended.
bool read_rebuild_output() {
    char buf[4096];
    for (;;) {
        int n = read_piped_process(rebuild, buf, sizeof(buf));
        if (n == 0) return false;
        if (n < 0) break;
        for (int i = 0; i < n; ++i) {
            if (buf[i] == '\n') {
                flush_pending_line();
                continue;
            }
            if (buf[i] == '\r') continue;
            pending_line[pending_len++] = buf[i];
            if (pending_len == int(sizeof(pending_line)) - 1) flush_pending_line();
        }
    }
    if (pending_len) flush_pending_line();
    return true;
}

// True when the rebuild is over (its result reported).
bool drain_rebuild() {
    if (rebuild.fd >= 0 && !read_rebuild_output()) return false;
    int code = 0;
    if (!finish_piped_process(rebuild, code)) return false;
    rebuilding = false;
    if (code != 0 || has_error_message()) {
        append_error_message("actor rebuild failed!!!", -1);
        debug("!!! failed to rebuild actor DLL (code %d)", code);
    } else {
        debug("=== DLL rebuild done in %d ms", get_time_msec(get_ref_time() - rebuild_start));
    }
    return true;
}

void start_rebuild() {
    retrack_sources();
    set_error_message(nullptr);
    debug("=== rebuilding actor DLL");
    TempString<260> folder = make_full_path(source_folder);
    char script[300];
    snprintf(script, sizeof(script), "%srebuild_dll.sh", folder.c_str());
    const char* argv[] = {"bash", script, app_path, nullptr};
    rebuild_start = get_ref_time();
    char error[300];
    if (!start_piped_process("bash", argv, folder, rebuild, error, sizeof(error))) {
        debug("!!! Error starting DLL rebuild");
        debug("%s", error);
        return;
    }
    rebuilding = true;
    pending_len = 0;
    drain_rebuild();
}
} // namespace

bool is_error_line(const char* line) {
    for (const char* p = line; (p = strcasestr(p, "error")) != nullptr; ++p) {
        if (p != line && is_word_char(p[-1])) continue;
        const char* end = p + 5;
        if (tolower(static_cast<unsigned char>(*end)) == 's') ++end;
        if (!is_word_char(*end)) return true;
    }
    return false;
}

bool is_game_module_rebuilding() {
    return rebuilding;
}

// [SECTION] swap and load

namespace {
// A rebuilt module that would corrupt live objects is refused before anything is let go.
bool accept_new_module(const char* path) {
    char why[256];
    void* probe = open_library(path);
    if (!probe) {
        snprintf(why, sizeof(why), "%s", library_error());
    } else {
        check_layout(module_layout(probe), why, sizeof(why));
        close_library(probe);
    }
    if (!why[0]) return true;
    char text[400];
    snprintf(text, sizeof(text), "%s refused: %s\nrestart the game to use it", NEW_MODULE_FILE,
             why);
    debug("!!! %s", text);
    set_error_message(text);
    remove(path);
    return false;
}

void swap_in_new_module() {
    TempString<260> fresh = make_full_path(NEW_MODULE_FILE);
    if (get_file_time(fresh) == 0) return;
    if (!accept_new_module(fresh)) return;
    release_game_module();
    TempString<260> path = make_full_path(MODULE_FILE);
    bool ok = remove(path) == 0 && rename(fresh, path) == 0;
    open_game_module();
    bind_game_module();
    debug("actor reload %s", ok ? "ok" : "failed");
}
} // namespace

void check_game_module() {
    if (rebuilding) {
        if (!drain_rebuild()) return;
    } else if (sources_changed()) {
        start_rebuild();
        return;
    }
    swap_in_new_module();
}

void load_game_module(const char* folder, const char* root_file) {
    if (module_handle) release_game_module();
    tracked.num = 0;
    source_folder[0] = root_source[0] = 0;
    if (folder && *folder) {
        size_t l = strlen(folder);
        ASSERT_TEXT(l < sizeof(source_folder), "l<BS");
        memcpy(source_folder, folder, l + 1);
        snprintf(root_source, sizeof(root_source), "%s%s", folder, root_file ? root_file : "");
    }
    open_game_module();
    bind_game_module();
    retrack_sources();
}

void unload_game_module() {
    if (module_handle) release_game_module();
    tracked.clear();
    if (rebuilding) {
        // The build finishes on its own; nothing waits for it.
        int code = 0;
        finish_piped_process(rebuild, code);
        rebuilding = false;
    }
}

// Every symbol the module may link to, so the linker keeps the objects that define them
// even where the program itself calls none of them.
[[gnu::used]] static const void* const module_export_anchor[] = {
    reinterpret_cast<const void*>(&dlmalloc),
    reinterpret_cast<const void*>(&dlfree),
    reinterpret_cast<const void*>(&dlrealloc),
    reinterpret_cast<const void*>(&update_proximity),
    reinterpret_cast<const void*>(&remove_proximity_object),
    &deleted_actors,
    &typeid(BaseObject),
    reinterpret_cast<const void*>(&HeightmapData::calcSquareDepth),
    reinterpret_cast<const void*>(&keyDown),
    reinterpret_cast<const void*>(&getKeyState),
    &isAppActive,
    &should_close_game_menu,
    reinterpret_cast<const void*>(&add_blend_particle),
    reinterpret_cast<const void*>(&add_glow_particle),
    reinterpret_cast<const void*>(&add_trail_fx),
    reinterpret_cast<const void*>(&add_trail_point),
    reinterpret_cast<const void*>(&set_trail_color),
    reinterpret_cast<const void*>(&stop_trail_fx),
    reinterpret_cast<const void*>(&kill_trail_fx),
    reinterpret_cast<const void*>(&call_fx_script),
};
