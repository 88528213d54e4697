#include "launcher/tga.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int HEADER_SIZE = 18;
constexpr long MAX_FILE_SIZE = 64L << 20; // far above any font image

void fail(char* error, int size, const char* name, const char* what, long pos) {
    if (error && size > 0) snprintf(error, size_t(size), "%s: %s (at byte %ld)", name, what, pos);
}

int read_u16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}
} // namespace

TgaImage::~TgaImage() {
    release();
}

void TgaImage::release() {
    free(pixels);
    pixels = nullptr;
    width = height = 0;
}

bool decode_tga(const uint8_t* data, long size, const char* name, TgaImage& out, char* error,
                int error_size) {
    if (size < HEADER_SIZE) {
        fail(error, error_size, name, "truncated TGA header", size);
        return false;
    }
    const uint8_t* h = data;
    int id_length = h[0];
    int colormap_type = h[1];
    int image_type = h[2];
    int colormap_entries = read_u16(h + 5);
    int colormap_bits = h[7];
    int width = read_u16(h + 12);
    int height = read_u16(h + 14);
    int bpp = h[16];
    bool top_down = h[17] & 0x20;
    if (image_type != 2 || bpp != 32 || colormap_type > 1) {
        fail(error, error_size, name, "unsupported TGA format", 2);
        return false;
    }
    if (width == 0 || height == 0) {
        fail(error, error_size, name, "zero-sized TGA image", 12);
        return false;
    }
    // The identification field and a colour map (allowed, unused for true colour)
    // sit between the header and the pixels.
    long offset = HEADER_SIZE + id_length;
    if (colormap_type == 1) offset += long(colormap_entries) * ((colormap_bits + 7) / 8);
    long need = long(width) * long(height) * 4;
    if (offset > size || size - offset < need) {
        fail(error, error_size, name, "TGA pixel data cut short", size);
        return false;
    }
    uint32_t* pixels = static_cast<uint32_t*>(malloc(size_t(need)));
    if (!pixels) {
        fail(error, error_size, name, "out of memory for TGA image", offset);
        return false;
    }
    const uint8_t* src = data + offset;
    for (int row = 0; row < height; ++row) {
        // Keep rows bottom-up in memory whatever the file's origin.
        int dst_row = top_down ? height - 1 - row : row;
        uint32_t* d = pixels + long(dst_row) * width;
        const uint8_t* s = src + long(row) * width * 4;
        for (int x = 0; x < width; ++x, s += 4)
            d[x] =
                uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16 | uint32_t(s[3]) << 24;
    }
    out.release();
    out.width = width;
    out.height = height;
    out.pixels = pixels;
    return true;
}

bool load_tga(const char* path, TgaImage& out, char* error, int error_size) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        fail(error, error_size, path, "can't open file", -1);
        return false;
    }
    long size = -1;
    if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
    if (size < 0 || size > MAX_FILE_SIZE || fseek(f, 0, SEEK_SET) != 0) {
        fclose(f);
        fail(error, error_size, path, size > MAX_FILE_SIZE ? "file too large" : "can't read file",
             0);
        return false;
    }
    uint8_t* data = static_cast<uint8_t*>(malloc(size_t(size > 0 ? size : 1)));
    if (!data) {
        fclose(f);
        fail(error, error_size, path, "out of memory", 0);
        return false;
    }
    long got = long(fread(data, 1, size_t(size), f));
    fclose(f);
    bool ok = false;
    if (got != size)
        fail(error, error_size, path, "error reading file", got);
    else
        ok = decode_tga(data, size, path, out, error, error_size);
    free(data);
    return ok;
}
