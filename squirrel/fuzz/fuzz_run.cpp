// libFuzzer target: compiles and runs snippets with the libraries registered and an
// instruction limit; any script error is fine, a crash, leak or sanitizer report is not.
#include "sqstdmath.h"
#include "sqstdstring.h"
#include "squirrel.h"

#include <cstddef>
#include <cstdint>

static void quiet(HSQUIRRELVM, const SQChar*, ...) {}
static void quiet_compile(HSQUIRRELVM, const SQChar*, const SQChar*, SQInteger, SQInteger) {}
static SQInteger quiet_handler(HSQUIRRELVM) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HSQUIRRELVM v = sq_open(256);
    sq_setprintfunc(v, quiet, quiet);
    sq_setcompilererrorhandler(v, quiet_compile);
    sq_newclosure(v, quiet_handler, 0);
    sq_seterrorhandler(v);
    sq_pushroottable(v);
    sqstd_register_mathlib(v);
    sqstd_register_stringlib(v);
    sq_pop(v, 1);
    sq_setinstructionlimit(v, 20000);
    if (SQ_SUCCEEDED(sq_compilebuffer(v, reinterpret_cast<const SQChar*>(data), SQInteger(size),
                                      "fuzz", SQTrue))) {
        sq_pushroottable(v);
        sq_call(v, 1, SQFalse, SQTrue);
        sq_pop(v, 1);
    }
    sq_collectgarbage(v);
    sq_close(v);
    return 0;
}
