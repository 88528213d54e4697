#include "platform/dynlib.h"

#include <dlfcn.h>

void* open_library(const char* path) {
    // Every symbol resolved now: a module missing an export fails here, not mid-game.
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* find_library_symbol(void* lib, const char* name) {
    return lib ? dlsym(lib, name) : nullptr;
}

void close_library(void* lib) {
    if (lib) dlclose(lib);
}

bool is_library_loaded(const char* path) {
    void* lib = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (lib) dlclose(lib);
    return lib != nullptr;
}

const char* library_error() {
    const char* e = dlerror();
    return e ? e : "";
}
