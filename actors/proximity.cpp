#include "actors/proximity.h"

#include <cmath>

ProximityBin proximity[PROXIMITY_BINS];

namespace {
// Both behave as floor for the coordinates the world uses.
int fine_cell(float v) {
    return int(lrintf(v / 8.0f - 0.4999999f));
}
int coarse_cell(float v) {
    return int(lrintf((v + 4.0f) / 16.0f - 0.4999999f));
}
int fine_bin(int cx, int cy) {
    return (cy & 31) * 32 + (cx & 31);
}
int coarse_bin(int cx, int cy) {
    return PROXIMITY_FINE_BINS + (cy & 15) * 16 + (cx & 15);
}

void remove_from_bin(int bin, BaseObject* obj) {
    ProximityBin& b = proximity[bin];
    int at = b.find(obj);
    if (at >= 0) b.erase(at);
}
} // namespace

int proximity_bin_of(const float bounds[4]) {
    int x0 = fine_cell(bounds[0]), y0 = fine_cell(bounds[1]);
    int x1 = fine_cell(bounds[2]), y1 = fine_cell(bounds[3]);
    if (x0 == x1 && y0 == y1) return fine_bin(x0, y0);
    x0 = coarse_cell(bounds[0]), y0 = coarse_cell(bounds[1]);
    x1 = coarse_cell(bounds[2]), y1 = coarse_cell(bounds[3]);
    if (x0 == x1 && y0 == y1) return coarse_bin(x0, y0);
    return PROXIMITY_LARGE_BIN;
}

void update_proximity(BaseObject* obj, const float bounds[4]) {
    int bin = proximity_bin_of(bounds);
    if (bin == obj->proximity_bin) return;
    if (obj->proximity_bin >= 0) remove_from_bin(obj->proximity_bin, obj);
    proximity[bin].push_back(obj);
    obj->proximity_bin = bin;
}

void remove_proximity_object(BaseObject* obj) {
    if (!obj) return;
    if (unsigned(obj->proximity_bin) <= unsigned(PROXIMITY_LARGE_BIN))
        remove_from_bin(obj->proximity_bin, obj);
    obj->proximity_bin = -1;
}

void ProximityQuery::proximityQuery(const float rect[4], bool skip_large) {
    bins.num = 0;
    int x0 = fine_cell(rect[0]), y0 = fine_cell(rect[1]);
    int x1 = fine_cell(rect[2]), y1 = fine_cell(rect[3]);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (proximity[fine_bin(x, y)].num) bins.push_back(fine_bin(x, y));
    x0 = coarse_cell(rect[0]), y0 = coarse_cell(rect[1]);
    x1 = coarse_cell(rect[2]), y1 = coarse_cell(rect[3]);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (proximity[coarse_bin(x, y)].num) bins.push_back(coarse_bin(x, y));
    if (!skip_large && proximity[PROXIMITY_LARGE_BIN].num) bins.push_back(PROXIMITY_LARGE_BIN);
    binCursor = 0;
    objCursor = -1;
}

BaseObject* ProximityQuery::next() {
    while (binCursor < bins.num) {
        const ProximityBin& b = proximity[bins[binCursor]];
        if (++objCursor < b.num) return b[objCursor];
        ++binCursor;
        objCursor = -1;
    }
    return nullptr;
}
