#include "world/hmGen.h"
#include "world/rnd.h"

void walk_map_grid(int level, IWalkMapGrid& visitor) {
    if (level < 0) {
        // Finer than 1/256 of a unit would overflow the cell count; 2^-8 is already 2^32 calls.
        int sub = level < -8 ? 8 : -level;
        int n = HMAP_SIZE << sub;
        float s = 1.0f / float(1 << sub);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) visitor.on_map_grid_walk(float(j) * s, float(i) * s, s);
        return;
    }
    int s = 1 << (level > HMAP_SIZE_SHIFT ? HMAP_SIZE_SHIFT : level);
    for (int z = 0; z < HMAP_SIZE; z += s)
        for (int x = 0; x < HMAP_SIZE; x += s)
            visitor.on_map_grid_walk(float(x), float(z), float(s));
}

void GenMapCellPoints::on_map_grid_walk(float x, float z, float size) {
    for (int k = 0; k < count; ++k) {
        float r1 = rnd_float();
        float r2 = rnd_float();
        receiver->on_map_point(x + size * r1, z + size * r2);
    }
}
