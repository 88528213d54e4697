// The sun direction and the sky colour table every lit shader receives, the sky script
// ("sky.nut", get_sky_colors) that makes the table, and the sky quad.
#pragma once

#include "core/vec4f.h"

enum { NUM_SKY_COLORS = 10, NUM_CUR_SKY_COLORS = 12 };

extern vec4f sun_dir, prev_sun_dir, cur_sun_dir;
extern vec4f sky_colors[NUM_SKY_COLORS];
extern vec4f prev_sky_colors[NUM_SKY_COLORS];
extern vec4f cur_sky_colors[NUM_CUR_SKY_COLORS];
extern float sky_sun_cos; // cos 20 degrees, sent with the sun vector
extern const vec4f SKY_FALLBACK_COLORS[NUM_SKY_COLORS];

void init_sky();
void close_sky();
void set_sky_sun(bool smooth, const vec4f& dir);
void set_sky_sun_dir_now(const vec4f& dir); // set_sky_sun(false, dir): the world script's hook
void step_sky();
void update_sky(float t);
void reload_sky();
void render_sky();

// Pixel c0 = (cur_sun_dir.xyz, cos 20), c1..c12 = cur_sky_colors.
void set_sky_ps_consts();
// The same 13 registers into vertex constants starting at first (c30 on the forward paths).
void set_sky_vs_consts(int first);

// Helpers shared with the tests.
float sun_elevation_deg(const vec4f& s);
vec4f normalize_sun(const vec4f& v);                      // a zero vector stays zero
void derive_sky_entries(vec4f table[NUM_CUR_SKY_COLORS]); // entries 10 and 11 from entry 2
