// Test helpers: a VM whose print and error output and compile errors are captured.
#pragma once
#include "sqstdmath.h"
#include "sqstdstring.h"
#include "squirrel.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

struct TestVm {
    HSQUIRRELVM v;
    std::string out, err, compileErrors;

    static TestVm* of(HSQUIRRELVM v) { return static_cast<TestVm*>(sq_getforeignptr(v)); }
    static void printOut(HSQUIRRELVM v, const SQChar* fmt, ...) {
        char buf[4096];
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(buf, sizeof buf, fmt, ap);
        va_end(ap);
        of(v)->out += buf;
    }
    static void printErr(HSQUIRRELVM v, const SQChar* fmt, ...) {
        char buf[4096];
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(buf, sizeof buf, fmt, ap);
        va_end(ap);
        of(v)->err += buf;
    }
    static void compileError(HSQUIRRELVM v, const SQChar* desc, const SQChar* src, SQInteger line,
                             SQInteger col) {
        char buf[512];
        snprintf(buf, sizeof buf, "%s(%lld,%lld): %s\n", src, line, col, desc);
        of(v)->compileErrors += buf;
    }

    TestVm() {
        v = sq_open(1024);
        sq_setforeignptr(v, this);
        sq_setprintfunc(v, printOut, printErr);
        sq_setcompilererrorhandler(v, compileError);
        sq_pushroottable(v);
        sqstd_register_mathlib(v);
        sqstd_register_stringlib(v);
        sq_pop(v, 1);
    }
    ~TestVm() { sq_close(v); }
    TestVm(const TestVm&) = delete;
    TestVm& operator=(const TestVm&) = delete;

    // compiles and runs a snippet with the root table as this; true on success
    bool run(const char* src, const char* name = "test.nut") {
        SQInteger top = sq_gettop(v);
        if (SQ_FAILED(sq_compilebuffer(v, src, SQInteger(strlen(src)), name, SQTrue))) return false;
        sq_pushroottable(v);
        bool ok = SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQTrue));
        sq_settop(v, top);
        return ok;
    }
    std::string lastError() {
        sq_getlasterror(v);
        const SQChar* s = "";
        std::string r = SQ_SUCCEEDED(sq_getstring(v, -1, &s)) ? s : "<not a string>";
        sq_pop(v, 1);
        return r;
    }
};
