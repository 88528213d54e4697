// Reader for uncompressed 32-bit true-colour TGA images: the bitmap font's image, one reader
// for game and launchpad so that a font.tga either loads in both or in neither.
#pragma once

#include "platform/dyn_array.h"

#include <cstdint>

struct TgaImage {
    int width = 0, height = 0;
    DynArray<uint32_t> pixels; // A8R8G8B8, rows in file order (bottom row first)
};

// Throws StreamException ("unsupported TGA format", "zero-sized TGA image", "truncated TGA
// image" or a stream error) carrying the file position. `out` is only written on success.
void load_tga(const char* path, TgaImage& out);
