// Building ramps (scripts and the standard native ramps share these) and their script faces.
#pragma once

#include "platform/game_export.h"

#include "core/ramp.h"
#include "squirrel/include/squirrel.h"

void make_const_ramp(ColorRamp& r, const vec4f& c);
void make_const_ramp(FloatRamp& r, float c);
void make_linear_ramp(ColorRamp& r, const vec4f& a, const vec4f& b);
void make_linear_ramp(FloatRamp& r, float a, float b);
// a fades into b over [0, in), b holds, then fades into c over (1 - out, 1].
void make_fade_in_out_ramp(ColorRamp& r, const vec4f& a, const vec4f& b, const vec4f& c, float in,
                           float out);
void make_fade_in_out_ramp(FloatRamp& r, float a, float b, float c, float in, float out);

// Writes a ramp to the log as a static table initializer, for pasting into native code.
void dump_ramp(const ColorRamp& r, const char* name);
void dump_ramp(const FloatRamp& r, const char* name);

// The classes "ColorRamp" and "FloatRamp" in a VM's root table.
void register_ramp_classes(HSQUIRRELVM vm);

// Standard particle ramps, built by init_std_ramps at start.
GAME_EXPORT extern ColorRamp blend_std_fade_anim, blend_end_fade_anim, blend_rev_fade_anim,
    glow_std_fade_anim;
GAME_EXPORT extern FloatRamp std_roll_anim, size_05_2_anim, size_05_4_anim;
void init_std_ramps();
