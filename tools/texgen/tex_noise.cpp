#include "tools/texgen/tex_noise.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
uint32_t hash3(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h;
}
float lattice(int x, int y, int period, uint32_t seed) {
    uint32_t px = uint32_t(((x % period) + period) % period);
    uint32_t py = uint32_t(((y % period) + period) % period);
    return float(hash3(px, py, seed) & 0xFFFFFFu) / 16777215.0f;
}
float smooth(float t) {
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}
uint8_t to_byte(float v) {
    v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    return uint8_t(lrintf(v * 255.0f));
}
uint32_t argb(float r, float g, float b, float a) {
    return uint32_t(to_byte(a)) << 24 | uint32_t(to_byte(r)) << 16 | uint32_t(to_byte(g)) << 8 |
           uint32_t(to_byte(b));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
} // namespace

float periodic_noise(float x, float y, int period, uint32_t seed) {
    float fx = floorf(x), fy = floorf(y);
    int ix = int(fx), iy = int(fy);
    float tx = smooth(x - fx), ty = smooth(y - fy);
    float a = lattice(ix, iy, period, seed), b = lattice(ix + 1, iy, period, seed);
    float c = lattice(ix, iy + 1, period, seed), d = lattice(ix + 1, iy + 1, period, seed);
    float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

float periodic_fbm(float u, float v, int base_period, int octaves, uint32_t seed) {
    float sum = 0.0f, weight = 0.5f, total = 0.0f;
    int period = base_period;
    for (int o = 0; o < octaves; ++o) {
        sum += periodic_noise(u * float(period), v * float(period), period, seed + uint32_t(o)) *
               weight;
        total += weight;
        weight *= 0.5f;
        period *= 2;
    }
    return sum / total;
}

float periodic_cells(float u, float v, int cells, uint32_t seed) {
    float x = u * float(cells), y = v * float(cells);
    int cx = int(floorf(x)), cy = int(floorf(y));
    float best = 1e9f;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            int gx = cx + dx, gy = cy + dy;
            uint32_t wx = uint32_t(((gx % cells) + cells) % cells);
            uint32_t wy = uint32_t(((gy % cells) + cells) % cells);
            uint32_t h = hash3(wx, wy, seed);
            float px = float(gx) + float(h & 0xFFFF) / 65535.0f;
            float py = float(gy) + float(h >> 16) / 65535.0f;
            float d = sqrtf((px - x) * (px - x) + (py - y) * (py - y));
            if (d < best) best = d;
        }
    return best;
}

Image make_detail_texture(int size) {
    Image img;
    img.width = img.height = size;
    img.px.resize(size_t(size) * size_t(size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float u = float(x) / float(size), v = float(y) / float(size);
            // Red: fine grain; green: broad patches; blue: smooth ripples.
            float r = periodic_fbm(u, v, 16, 4, 11);
            float g = periodic_fbm(u, v, 4, 5, 23);
            float b = periodic_fbm(u, v, 8, 3, 37);
            r = 0.5f + (r - 0.5f) * 1.8f;
            g = 0.5f + (g - 0.5f) * 1.6f;
            img.px[size_t(y) * size_t(size) + size_t(x)] = argb(r, g, b, 1.0f);
        }
    return img;
}

Image make_foam_texture(int size) {
    Image img;
    img.width = img.height = size;
    img.px.resize(size_t(size) * size_t(size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float u = float(x) / float(size), v = float(y) / float(size);
            // Red and green: ripple slopes; alpha: bubbles thinning into streaks.
            float r = periodic_fbm(u, v, 8, 4, 51);
            float g = periodic_fbm(u, v, 8, 4, 67);
            float cells = periodic_cells(u, v, 24, 79);
            float streak = periodic_fbm(u, v, 4, 4, 83);
            float bubbles = 1.0f - fminf(cells * 1.6f, 1.0f);
            float a = fminf(1.0f, bubbles * 0.8f + (streak - 0.35f) * 1.4f);
            img.px[size_t(y) * size_t(size) + size_t(x)] = argb(r, g, 0.5f, a);
        }
    return img;
}

std::vector<Image> make_mip_chain(const Image& top) {
    std::vector<Image> levels{top};
    while (levels.back().width > 1 || levels.back().height > 1) {
        const Image& s = levels.back();
        Image d;
        d.width = s.width > 1 ? s.width / 2 : 1;
        d.height = s.height > 1 ? s.height / 2 : 1;
        d.px.resize(size_t(d.width) * size_t(d.height));
        for (int y = 0; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x) {
                uint32_t sum[4] = {};
                for (int k = 0; k < 4; ++k) {
                    int sx = (x * 2 + (k & 1)) % s.width, sy = (y * 2 + (k >> 1)) % s.height;
                    uint32_t p = s.px[size_t(sy) * size_t(s.width) + size_t(sx)];
                    for (int c = 0; c < 4; ++c) sum[c] += (p >> (8 * c)) & 255;
                }
                uint32_t out = 0;
                for (int c = 0; c < 4; ++c) out |= ((sum[c] + 2) / 4) << (8 * c);
                d.px[size_t(y) * size_t(d.width) + size_t(x)] = out;
            }
        levels.push_back(std::move(d));
    }
    return levels;
}

std::vector<uint8_t> encode_dds(const std::vector<Image>& levels) {
    std::vector<uint8_t> out;
    const Image& top = levels.front();
    out.reserve(128 + top.px.size() * 8); // the mip chain adds a third
    put32(out, 0x20534444);               // "DDS "
    put32(out, 124);
    put32(out, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000 | 0x20000); // caps, size, pitch, format, mips
    put32(out, uint32_t(top.height));
    put32(out, uint32_t(top.width));
    put32(out, uint32_t(top.width) * 4);
    put32(out, 0);
    put32(out, uint32_t(levels.size()));
    for (int i = 0; i < 11; ++i) put32(out, 0);
    put32(out, 32);
    put32(out, 0x1 | 0x40); // alpha pixels, RGB
    put32(out, 0);
    put32(out, 32);
    put32(out, 0x00FF0000);
    put32(out, 0x0000FF00);
    put32(out, 0x000000FF);
    put32(out, 0xFF000000);
    put32(out, 0x1000 | 0x400000 | 0x8); // texture, mipmap, complex
    for (int i = 0; i < 4; ++i) put32(out, 0);
    for (const Image& l : levels)
        for (uint32_t p : l.px) put32(out, p);
    return out;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string tmp = path + ".tmp";
    FILE* f = fopen(tmp.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (fclose(f) == 0) && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        remove(tmp.c_str());
        return false;
    }
    return true;
}
