// DDS images in memory: what the texture registry accepts, checked against the bytes present.
#pragma once

#include <cstddef>
#include <cstdint>

struct DdsImage {
    int width, height, levels;
    int format;          // D3DFMT_DXT1/3/5, A8R8G8B8, X8R8G8B8 or L8
    int block_size;      // bytes per 4x4 block for compressed formats, else 0
    int pixel_size;      // bytes per pixel for uncompressed formats, else 0
    const uint8_t* data; // level 0, then each smaller level
    size_t data_size;
};

// False when the bytes are not an accepted DDS, or are too short for every level.
bool parse_dds(const uint8_t* file, size_t size, DdsImage& out);

// Bytes of one level in the file, with its row length and row count (rows of blocks for
// compressed formats).
size_t dds_level_size(const DdsImage& img, int level, int* row_bytes = nullptr,
                      int* rows = nullptr);
