// Reader for the font image: uncompressed 32-bit true-colour TGA with alpha.
#pragma once

#include <cstdint>

struct TgaImage {
    int width = 0;
    int height = 0;
    uint32_t* pixels = nullptr; // A8R8G8B8, rows from the bottom up

    TgaImage() = default;
    TgaImage(const TgaImage&) = delete;
    TgaImage& operator=(const TgaImage&) = delete;
    ~TgaImage();
    void release();
};

// Loads `path` into `out` (replacing what it held only on success). On failure returns
// false with a message that ends in the file position where reading stopped.
bool load_tga(const char* path, TgaImage& out, char* error, int error_size);

// The same from memory (`name` only appears in messages).
bool decode_tga(const uint8_t* data, long size, const char* name, TgaImage& out, char* error,
                int error_size);
