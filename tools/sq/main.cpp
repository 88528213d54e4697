// Runs a script file as the root function with print going to standard output and error
// reports (compile errors, uncaught errors with their call stack) to standard error.
#include "sqstdmath.h"
#include "sqstdstring.h"
#include "squirrel.h"

#include <cstdarg>
#include <cstdio>
#include <string>

static void print_out(HSQUIRRELVM, const SQChar* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stdout, fmt, ap);
    va_end(ap);
}

static void print_err(HSQUIRRELVM, const SQChar* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
}

static void compile_error(HSQUIRRELVM, const SQChar* desc, const SQChar* source, SQInteger line,
                          SQInteger column) {
    fprintf(stderr, "%s:%lld:%lld: error: %s\n", source, line, column, desc);
}

static SQInteger error_handler(HSQUIRRELVM v) {
    const SQChar* msg = "unknown";
    if (sq_gettop(v) >= 2 && sq_gettype(v, 2) == OT_STRING) sq_getstring(v, 2, &msg);
    fprintf(stderr, "\nAN ERROR HAS OCCURRED [%s]\n\nCALLSTACK\n", msg);
    SQStackInfos si;
    for (SQInteger level = 1; SQ_SUCCEEDED(sq_stackinfos(v, level, &si)); ++level)
        fprintf(stderr, "*FUNCTION [%s()] %s line [%lld]\n", si.funcname ? si.funcname : "unknown",
                si.source ? si.source : "unknown", si.line);
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: sq script.nut\n");
        return 2;
    }
    FILE* f = fopen(argv[1], "rb");
    if (!f) {
        fprintf(stderr, "sq: cannot open '%s'\n", argv[1]);
        return 1;
    }
    std::string src;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) src.append(buf, n);
    fclose(f);

    HSQUIRRELVM v = sq_open(1024);
    sq_setprintfunc(v, print_out, print_err);
    sq_setcompilererrorhandler(v, compile_error);
    sq_newclosure(v, error_handler, 0);
    sq_seterrorhandler(v);
    sq_pushroottable(v);
    sqstd_register_mathlib(v);
    sqstd_register_stringlib(v);
    sq_pop(v, 1);

    int rc = 0;
    if (SQ_SUCCEEDED(sq_compilebuffer(v, src.data(), SQInteger(src.size()), argv[1], SQTrue))) {
        sq_pushroottable(v);
        sq_call(v, 1, SQFalse, SQTrue);
        sq_pop(v, 1);
    } else {
        rc = 1;
    }
    fflush(stdout);
    sq_close(v);
    return rc;
}
