// Screen-space shadows of object balls: casters are binned into 16 x 9 screen tiles in
// blocks of 8, and each tile is drawn once per block (then batches of 4, 2 and 1) so that
// no pixel pays for balls that cannot reach it.
#pragma once

#include "platform/game_export.h"

#include "core/vec4f.h"
#include "platform/dyn_array.h"
#include "render/d3d_types.h"

enum {
    SHADOW_TILES_X = 16,
    SHADOW_TILES_Y = 9,
    SHADOW_TILES = SHADOW_TILES_X * SHADOW_TILES_Y,
    SHADOW_BLOCK = 8,
};
constexpr float SHADOW_MAX_DIST = 112.0f;

struct ShadowTile {
    int first; // first block, -1 when none
    int last;  // last block, -1 when none
    int full;  // full blocks chained before the last
    int count; // balls in the last block, 0..8
};

struct ShadowBlock {
    vec4f ball[SHADOW_BLOCK]; // centre x, y, z and radius
};

extern ShadowTile shadow_tiles[SHADOW_TILES];
extern DynArray<ShadowBlock> shadow_blocks;
extern DynArray<int> shadow_next_block;
extern DynArray<vec4f> shadow_balls; // every ball of the frame, for the debug view
extern int shadow_instance_count[4]; // instances of the last end_render_shadows: 8, 4, 2, 1
extern int shadow_draw_calls;        // instanced draws of the last end_render_shadows

// Casters of the frame are culled against this view x projection and camera position;
// start_render_shadows takes them from the device and the scene camera.
extern Matrix44 shadow_glob_tm;
extern vec4f shadow_camera_pos;
extern vec4f shadow_sun_dir;

void init_shadows(); // tile quad, instance formats and the four shader variants
void close_shadows();
void start_render_shadows();
GAME_EXPORT void render_shadow_ball(vec4f centre, float radius);
void end_render_shadows(); // into the bound target: white mask times ball occlusion
void render_shadows_debug();

// The binning without the device: a fresh frame with the given camera and sun.
void reset_shadow_bins(const Matrix44& glob_tm, const vec4f& cam_pos, const vec4f& sun);

// Calls f(column, row, balls) for every instance of the variant with n balls (8, 4, 2, 1).
template <typename F>
void for_each_shadow_instance(int n, F&& f) {
    for (int t = 0; t < SHADOW_TILES; ++t) {
        const ShadowTile& tile = shadow_tiles[t];
        if (tile.last < 0) continue;
        const int col = t % SHADOW_TILES_X, row = t / SHADOW_TILES_X;
        if (n == SHADOW_BLOCK) {
            int b = tile.first;
            for (int i = 0; i < tile.full; ++i, b = shadow_next_block[b])
                f(col, row, shadow_blocks[b].ball);
            if (tile.count == SHADOW_BLOCK) f(col, row, shadow_blocks[tile.last].ball);
            continue;
        }
        const vec4f* balls = shadow_blocks[tile.last].ball;
        if (tile.count == SHADOW_BLOCK || !(tile.count & n)) continue;
        // The last block splits into 4, then 2, then 1 by the bits of its count.
        int at = tile.count & ~(2 * n - 1) & (SHADOW_BLOCK - 1);
        f(col, row, balls + at);
    }
}
