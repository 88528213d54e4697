// Generators that add to or reshape a height array and paint the surface records.
#pragma once

#include "platform/game_export.h"

#include "core/ramp.h"
#include "world/heightmap.h"
#include "world/noise.h"

namespace HeightmapData {

// Periodic subdivision noise over all HMAP_CELLS values of out (not centred on 0).
GAME_EXPORT void makeFastNoise(float* out, float amplitude, float roughness);
GAME_EXPORT void addFastNoise(float min_ht, float max_ht, const ColorRamp* ramp, int ground_type,
                              int alpha, float roughness);
GAME_EXPORT void addSimplexNoise(float min_ht, float max_ht, int tile, int octaves,
                                 float persistence);
GAME_EXPORT void addVoronoiHills(int tile, float min_ht, float max_ht, float radius);
GAME_EXPORT void genVoronoiFaults(int tile, float min_ht, float max_ht, float warp, int warp_tile,
                                  int warp_octaves, float slope);
// A noisy scarp inside an ellipse around centre; a zero dir leaves dst unchanged.
GAME_EXPORT void genFault(Point2 centre, Point2 dir, float height, float up_part, float noise_amp,
                          const ColorRamp* ramp, int ground_type, int alpha, float* dst);
// A circular pit; only ever lowers dst, and each map cell at most once.
GAME_EXPORT void genCrater(Point2 centre, float radius, float steepness, float* dst);
// kind -1: the walled court; otherwise one of three small houses by kind mod 3.
GAME_EXPORT void placeHouse(int x, int z, int kind, float* dst, bool relative);

// Blends a cell's colour towards a ramp sample (weight: the sample's alpha).
GAME_EXPORT void blend_ramp_color(Surface& s, const ColorRamp& ramp, float t, int alpha);

} // namespace HeightmapData

struct IWalkMapGrid {
    virtual void on_map_grid_walk(float x, float z, float size) = 0;

  protected:
    ~IWalkMapGrid() = default;
};

struct IMapPointReceiver {
    virtual void on_map_point(float x, float z) = 0;

  protected:
    ~IMapPointReceiver() = default;
};

// Visits the map in square cells of 2^level units (level below 0: fractions of a unit).
GAME_EXPORT void walk_map_grid(int level, IWalkMapGrid& visitor);

// Emits `count` random points in every visited cell.
struct GAME_EXPORT GenMapCellPoints : IWalkMapGrid {
    IMapPointReceiver* receiver = nullptr;
    int count = 1;

    GenMapCellPoints(IMapPointReceiver* r, int n) : receiver(r), count(n) {}
    void on_map_grid_walk(float x, float z, float size) override;
};
