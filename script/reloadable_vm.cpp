#include "script/reloadable_vm.h"

#include "platform/log.h"
#include "platform/paths.h"
#include "script/sqbind.h"
#include "squirrel/include/sqstdmath.h"
#include "squirrel/include/sqstdstring.h"

#include <cstring>
#include <strings.h>

using namespace sqbind;

namespace {
const char* const REGISTRY_KEY = "SqReloadableVM";

SqReloadableVM* get_reg(HSQUIRRELVM vm) {
    SQInteger top = sq_gettop(vm);
    sq_pushregistrytable(vm);
    sq_pushstring(vm, REGISTRY_KEY, -1);
    if (SQ_FAILED(sq_get(vm, -2))) {
        sq_settop(vm, top);
        debug("getReg '%s' failed", REGISTRY_KEY);
        throw SquirrelError(vm);
    }
    SQUserPointer p = nullptr;
    SQRESULT r = sq_getuserpointer(vm, -1, &p);
    sq_settop(vm, top);
    if (SQ_FAILED(r)) throw_type_error();
    auto* rvm = static_cast<SqReloadableVM*>(p);
    ASSERT(rvm);
    return rvm;
}

SQInteger script_include(HSQUIRRELVM vm) {
    const char* path = Arg<const char*>::get(vm, 2);
    get_reg(vm)->include(path);
    return 0;
}

// Whether the full path of `path` fits a file entry (relative paths get app_path in front).
bool full_path_fits(const char* path) {
    size_t len = strlen(path);
    if (path[0] != '/') len += strlen(app_path);
    return len < 260;
}
} // namespace

SqReloadableVM::~SqReloadableVM() {
    close();
}

bool SqReloadableVM::init(SQInteger initial_stack) {
    close();
    vm = open_vm(initial_stack);
    if (!vm) return false;
    sq_pushregistrytable(vm);
    sq_pushstring(vm, REGISTRY_KEY, -1);
    sq_pushuserpointer(vm, this);
    sq_newslot(vm, -3, SQFalse);
    sq_poptop(vm);
    return registerStd();
}

void SqReloadableVM::close() {
    if (!vm) return;
    close_vm(vm);
    vm = nullptr;
}

bool SqReloadableVM::registerStd() {
    register_raw_function(vm, "include", script_include);
    sq_pushroottable(vm);
    sqstd_register_mathlib(vm);
    sqstd_register_stringlib(vm);
    sq_poptop(vm);
    return true;
}

bool SqReloadableVM::include(const char* path) {
    // A path the fixed-size entry cannot hold is the script's mistake, not a reason to stop.
    if (!full_path_fits(path)) throw SquirrelError("include: path too long");
    TempString<260> full = make_full_path(path);
    for (const FileEntry& e : files)
        if (strcasecmp(e.path, full) == 0) return true;
    FileEntry e;
    e.path = full;
    e.time = get_file_time(full);
    files.push_back(e);
    return run_file(vm, full);
}

bool SqReloadableVM::changed() {
    for (const FileEntry& e : files)
        if (get_file_time(e.path) != e.time) return true;
    return false;
}

bool SqReloadableVM::reloadFiles(bool force) {
    for (int i = 0; i < files.num; ++i) {
        int64_t t = get_file_time(files[i].path);
        if (!force && t == files[i].time) continue;
        files[i].time = t;
        // Copy the path: running the file may include new ones and move the list.
        TempString<260> path = files[i].path;
        if (!run_file(vm, path)) return false;
    }
    return true;
}
