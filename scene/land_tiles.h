// Which screen tiles may show land, so that the forward path's screen pass over the land
// (see land.sh) is drawn only there: on a software rasteriser a screen pass costs every
// pixel it covers, whatever the stencil lets through.
#pragma once

#include "render/d3d_types.h"

#include <cstdint>

constexpr int LAND_TILE_PIXELS = 32;

// One flag per tile of LAND_TILE_PIXELS square (rows from the top, the last row and column
// may be cut off by the screen's edge): set when an 8 x 8-cell block of the land circle
// around the window centre, with the height range of `heights` (indexed like the map, the
// window's cell (j, k) at world cell (ox + j, oz + k)), may project into it through glob
// (view x projection). Clipped at the near plane; returns the number of tiles set.
int mark_land_tiles(const Matrix44& glob, int wd, int ht, const float* heights, int ox, int oz,
                    uint8_t* tiles);

inline int land_tiles_x(int wd) {
    return (wd + LAND_TILE_PIXELS - 1) / LAND_TILE_PIXELS;
}
inline int land_tiles_y(int ht) {
    return (ht + LAND_TILE_PIXELS - 1) / LAND_TILE_PIXELS;
}
