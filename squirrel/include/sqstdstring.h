// String library (format, printf, split, strip, escape, regexp, ...) registered into the
// table on top of the stack.
#pragma once
#include "squirrel.h"

extern "C" SQRESULT sqstd_register_stringlib(HSQUIRRELVM v);
extern "C" SQRESULT sqstd_format(HSQUIRRELVM v, SQInteger nformatstringidx, SQInteger* outlen,
                                 SQChar** output);
