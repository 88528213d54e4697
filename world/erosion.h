// Droplet erosion: rain droplets run downhill over hmap, carving valleys, filling hollows
// and carrying the colour of what they erode to where they deposit it.
#pragma once

#include "core/vec4f.h"
#include "platform/dyn_array.h"

namespace HeightmapData {

// A colour reaction: rate vector k = rate x (to - from) and per-channel orders n (red,
// green, blue, alpha); the rate scales with the product of colour_j^n_j over n_j > 0.
struct ErosionReaction {
    float k[4];
    int n[4];
};

// The reaction of a script triple [from, to, rate]: k = rate x (to - from), n = from rounded
// to the nearest integers (red, green, blue, alpha).
ErosionReaction make_erosion_reaction(const vec4f& from, const vec4f& to, float rate);

struct ErosionParams {
    float Kq = 10.0f;  // sediment capacity factor
    float Kw = 0.001f; // evaporation per step
    float Kr = 0.9f;   // fraction of the free capacity eroded per step
    float Kd = 0.02f;  // fraction of the excess sediment deposited per step
    float Ki = 0.1f;   // inertia of the direction against the slope
    float minSlope = 0.05f;
    float g = 20.0f;
    float depositBlend = 2.0f;   // how fast deposits take on the droplet's colour
    float reactionTime = 100.0f; // reactions run this long after each deposit
    DynArray<ErosionReaction> reactions;
};

constexpr int EROSION_MAX_STEPS = 1024;

// Runs count droplets on hmap and surface, drawing from game_rnd_seed.
void genDropletErosion(unsigned count, ErosionParams& params);

// Totals of the last genDropletErosion run (also written to the log).
struct ErosionStats {
    unsigned long long steps, long_paths, random_dirs;
};
extern ErosionStats last_erosion_stats;

} // namespace HeightmapData

// Progress of long world operations ("Calculating erosion", fraction 0..1); the splash
// screen installs it. Null: no progress shown.
extern void (*erosion_progress_hook)(const char* text, float fraction);
