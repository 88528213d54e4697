// House cells through the building renderers: the instance record of a cell, and the
// host's own drawing of them for when no game-object module draws buildings.
#pragma once

#include "platform/game_export.h"
#include "scene/objects/inst_render.h"
#include "world/heightmap.h"

// The orientation code of a house tile as a matrix from the tile's frame (cell-centred
// x, z) to the world: z mirrored when bit 1 is set, then x when bit 2 is set, then the
// axes exchanged when bit 0 is set. Even codes are the four rotations.
struct TileRot {
    int m00, m01, m10, m11; // world x = m00 x + m01 z, world z = m10 x + m11 z
};
GAME_EXPORT TileRot tile_rot_matrix(int code);

// The record that draws a house cell at unwrapped (x, z), corner heights from
// HeightmapRenderer::curh; false when the cell's tile has no renderer.
GAME_EXPORT bool make_building_instance(const HeightmapData::Surface* s, int x, int z,
                                        BuildingInstance& out);
// Appends the cell to its renderer (what the module's render_building does).
GAME_EXPORT void add_house_cell(const HeightmapData::Surface* s, int x, int z);
// The world transform of a house cell's mesh (tile frame, y from the mean corner height)
// for InstRender::renderShadowBalls.
GAME_EXPORT Matrix44 house_cell_tm(const HeightmapData::Surface* s, int x, int z);

// Host drawing of the cells that frameUpdate reported: mesh loading, the draws, and the
// cells' shadow balls (after the draws, on the high path).
void init_house_renderers();
void close_house_renderers(); // the building renderers and the cells remembered
void render_house_cells();
void render_house_shadows();
void record_house_cell(const HeightmapData::Surface* s, int x, int z); // add + remember
