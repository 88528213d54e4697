// The vocabulary every script VM shares: the vec4f class, vector functions, random
// numbers over game_rnd_seed, and colour functions.
#pragma once

#include "core/vec4f.h"
#include "squirrel/include/squirrel.h"

void register_common_script(HSQUIRRELVM vm);
void register_vec4f_script(HSQUIRRELVM vm); // part of register_common_script

// The colour conversions behind "hsv2rgba" and "lch2rgba".
vec4f hsv_to_rgba(float h, float s, float v, float a);
vec4f lch_to_rgba(float l, float k, float h, float a);
float wrap_coord(float x); // into (-128, 128]
