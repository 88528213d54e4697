// libFuzzer target: the compiler must turn any input into a function or a compile error.
#include "squirrel.h"

#include <cstddef>
#include <cstdint>

static void quiet(HSQUIRRELVM, const SQChar*, ...) {}
static void quiet_compile(HSQUIRRELVM, const SQChar*, const SQChar*, SQInteger, SQInteger) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HSQUIRRELVM v = sq_open(256);
    sq_setprintfunc(v, quiet, quiet);
    sq_setcompilererrorhandler(v, quiet_compile);
    if (SQ_SUCCEEDED(sq_compilebuffer(v, reinterpret_cast<const SQChar*>(data), SQInteger(size),
                                      "fuzz", SQTrue)))
        sq_pop(v, 1);
    sq_close(v);
    return 0;
}
