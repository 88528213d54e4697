// A script VM that remembers every file it ran and runs them again when they change.
#pragma once

#include "platform/dyn_array.h"
#include "platform/temp_string.h"
#include "squirrel/include/squirrel.h"

#include <cstdint>

class SqReloadableVM {
  public:
    struct FileEntry {
        TempString<260> path;
        int64_t time;
    };

    SqReloadableVM() = default;
    SqReloadableVM(const SqReloadableVM&) = delete;
    SqReloadableVM& operator=(const SqReloadableVM&) = delete;
    virtual ~SqReloadableVM();

    virtual bool init(SQInteger initial_stack); // false: no VM
    virtual void close();
    virtual bool include(const char* path); // runs a file once per load or reload pass
    virtual bool changed();                 // a listed file's time differs
    virtual bool reload(bool force) { return reloadFiles(force); }
    virtual bool registerStd();
    virtual bool reloadFiles(bool force); // false at the first file that fails

    HSQUIRRELVM vm = nullptr;
    DynArray<FileEntry> files;
};
