#include "render/dds.h"

#include "render/d3d_types.h"

#include <cstring>

namespace {
enum : uint32_t {
    DDSD_CAPS = 0x1,
    DDSD_HEIGHT = 0x2,
    DDSD_WIDTH = 0x4,
    DDSD_PITCH = 0x8,
    DDSD_PIXELFORMAT = 0x1000,
    DDSD_LINEARSIZE = 0x80000,
    DDPF_ALPHAPIXELS = 0x1,
    DDPF_FOURCC = 0x4,
    DDPF_RGB = 0x40,
    DDPF_LUMINANCE = 0x20000,
    DDSCAPS_TEXTURE = 0x1000,
    DDSCAPS_MIPMAP = 0x400000,
};
constexpr int HEADER_SIZE = 124;
constexpr int MAX_DDS_SIZE = 1 << 15;

uint32_t u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int pixel_format(const uint8_t* pf, int& block, int& pixel) {
    uint32_t flags = u32(pf + 4), fourcc = u32(pf + 8), bits = u32(pf + 12);
    block = pixel = 0;
    if (flags & DDPF_FOURCC) {
        if (fourcc == D3DFMT_DXT1) block = 8;
        if (fourcc == D3DFMT_DXT3 || fourcc == D3DFMT_DXT5) block = 16;
        return block ? int(fourcc) : 0;
    }
    if (flags & DDPF_RGB) {
        if (bits != 32 || u32(pf + 16) != 0xff0000 || u32(pf + 20) != 0xff00 ||
            u32(pf + 24) != 0xff)
            return 0;
        pixel = 4;
        if (!(flags & DDPF_ALPHAPIXELS)) return D3DFMT_X8R8G8B8;
        return u32(pf + 28) == 0xff000000u ? D3DFMT_A8R8G8B8 : 0;
    }
    if ((flags & DDPF_LUMINANCE) && bits == 8) {
        pixel = 1;
        return D3DFMT_L8;
    }
    return 0;
}

int max_levels(int w, int h) {
    int n = 1;
    while (w > 1 || h > 1) {
        w >>= 1;
        h >>= 1;
        ++n;
    }
    return n;
}
} // namespace

size_t dds_level_size(const DdsImage& img, int level, int* row_bytes, int* rows) {
    int w = img.width >> level, h = img.height >> level;
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    int rb, rc;
    if (img.block_size) {
        rb = ((w + 3) / 4) * img.block_size;
        rc = (h + 3) / 4;
    } else {
        rb = w * img.pixel_size;
        rc = h;
    }
    if (row_bytes) *row_bytes = rb;
    if (rows) *rows = rc;
    return size_t(rb) * size_t(rc);
}

bool parse_dds(const uint8_t* file, size_t size, DdsImage& out) {
    if (!file || size < 4 + size_t(HEADER_SIZE) || memcmp(file, "DDS ", 4) != 0) return false;
    const uint8_t* h = file + 4;
    uint32_t flags = u32(h + 4), caps = u32(h + 104), caps2 = u32(h + 108);
    const uint32_t required = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    if (u32(h) != HEADER_SIZE || u32(h + 72) != 32) return false;
    if ((flags & required) != required || !(caps & DDSCAPS_TEXTURE) || caps2 != 0) return false;
    if ((flags & DDSD_PITCH) && (flags & DDSD_LINEARSIZE)) return false;
    uint32_t width = u32(h + 12), height = u32(h + 8);
    if (width == 0 || height == 0 || width > MAX_DDS_SIZE || height > MAX_DDS_SIZE) return false;
    DdsImage img = {};
    img.width = int(width);
    img.height = int(height);
    uint32_t levels = (caps & DDSCAPS_MIPMAP) ? u32(h + 24) : 1;
    if (levels == 0) levels = 1;
    if (levels > uint32_t(max_levels(img.width, img.height))) return false;
    img.levels = int(levels);
    img.format = pixel_format(h + 72, img.block_size, img.pixel_size);
    if (!img.format) return false;
    img.data = file + 4 + HEADER_SIZE;
    size_t avail = size - 4 - HEADER_SIZE, need = 0;
    for (int i = 0; i < img.levels; ++i) need += dds_level_size(img, i);
    if (need > avail) return false;
    img.data_size = need;
    out = img;
    return true;
}
