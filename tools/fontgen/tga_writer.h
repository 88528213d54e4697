// Writes uncompressed 32-bit TGA images (bottom-up rows, BGRA bytes).
#pragma once

#include <cstdint>

// pixels: A8R8G8B8, rows from the top down; the file stores them bottom-up as usual.
bool write_tga(const char* path, const uint32_t* pixels, int width, int height);
