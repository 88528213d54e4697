#include "tools/fontgen/tga_writer.h"

#include <cstdio>
#include <vector>

bool write_tga(const char* path, const uint32_t* pixels, int width, int height) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return false;
    uint8_t header[18] = {};
    header[2] = 2; // uncompressed true colour
    header[12] = uint8_t(width & 0xFF);
    header[13] = uint8_t(width >> 8);
    header[14] = uint8_t(height & 0xFF);
    header[15] = uint8_t(height >> 8);
    header[16] = 32;
    header[17] = 8; // 8 alpha bits, bottom-left origin
    std::vector<uint8_t> data(sizeof(header) + size_t(width) * size_t(height) * 4);
    std::copy(header, header + sizeof(header), data.begin());
    uint8_t* out = data.data() + sizeof(header);
    for (int row = height - 1; row >= 0; --row) {
        for (int x = 0; x < width; ++x) {
            uint32_t p = pixels[size_t(row) * size_t(width) + size_t(x)];
            *out++ = uint8_t(p);
            *out++ = uint8_t(p >> 8);
            *out++ = uint8_t(p >> 16);
            *out++ = uint8_t(p >> 24);
        }
    }
    FILE* f = fopen(path, "wb");
    if (!f) return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = fclose(f) == 0 && ok;
    return ok;
}
