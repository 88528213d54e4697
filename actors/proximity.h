// A wrapping spatial hash of game objects' ground-plane bounds, which the module queries
// for objects near a rectangle. Bins 0..1023: 8-unit cells; 1024..1279: 16-unit cells
// shifted by 4 units; 1280: everything larger.
#pragma once

#include "actors/base_object.h"
#include "platform/dyn_array.h"

constexpr int PROXIMITY_FINE_BINS = 1024;
constexpr int PROXIMITY_COARSE_BINS = 256;
constexpr int PROXIMITY_LARGE_BIN = PROXIMITY_FINE_BINS + PROXIMITY_COARSE_BINS;
constexpr int PROXIMITY_BINS = PROXIMITY_LARGE_BIN + 1;

using ProximityBin = DynArray<BaseObject*>;

GAME_EXPORT extern ProximityBin proximity[PROXIMITY_BINS];

// The bin of bounds (min first axis, min second axis, max first axis, max second axis).
GAME_EXPORT int proximity_bin_of(const float bounds[4]);
GAME_EXPORT void update_proximity(BaseObject* obj, const float bounds[4]);
GAME_EXPORT void remove_proximity_object(BaseObject* obj); // null and unbinned are ignored

struct GAME_EXPORT ProximityQuery {
    DynArray<int> bins; // non-empty bins touched by the last query, fine ones first
    int binCursor = 0;
    int objCursor = -1;

    void proximityQuery(const float rect[4], bool skip_large);
    // Walks the objects of the listed bins; null at the end. The caller tests positions.
    BaseObject* next();
};
