// Math library (sqrt, sin, PI, rand, ...) registered into the table on top of the stack.
#pragma once
#include "squirrel.h"

extern "C" SQRESULT sqstd_register_mathlib(HSQUIRRELVM v);
