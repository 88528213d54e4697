// worldtool --seed N --out DIR [--droplets N]
// Builds the reference world of a seed and writes DIR/height.png (grey, lowest black,
// highest white) and DIR/color.png (ground colours, water tinted blue), creating DIR if
// needed, then prints the world's 64-bit hash.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "world/heightmap.h"
#include "world/sample_world.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

int usage() {
    fprintf(stderr, "usage: worldtool --seed N --out DIR [--droplets N]\n");
    return 2;
}

bool parse_u64(const char* s, uint64_t* out) {
    if (!*s || *s == '-') return false;
    char* end;
    errno = 0;
    unsigned long long v = strtoull(s, &end, 0);
    if (*end || errno) return false;
    *out = v;
    return true;
}

bool write_height_png(const std::string& path) {
    using namespace HeightmapData;
    float lo, hi;
    calcHtRange(lo, hi);
    float scale = hi > lo ? 255.0f / (hi - lo) : 0.0f;
    std::vector<unsigned char> px(HMAP_CELLS);
    for (int i = 0; i < HMAP_CELLS; ++i) px[i] = (unsigned char)((hmap[i] - lo) * scale + 0.5f);
    return stbi_write_png(path.c_str(), HMAP_SIZE, HMAP_SIZE, 1, px.data(), HMAP_SIZE) != 0;
}

bool write_color_png(const std::string& path) {
    using namespace HeightmapData;
    std::vector<unsigned char> px(HMAP_CELLS * 3);
    for (int i = 0; i < HMAP_CELLS; ++i) {
        uint32_t c = surface[i].color;
        float r = float((c >> 16) & 255), g = float((c >> 8) & 255), b = float(c & 255);
        float d = water[i >> 8][i & 255].depth;
        float t = d > 0.05f ? (d > 2.0f ? 0.8f : 0.3f + 0.25f * d) : 0.0f;
        px[3 * i] = (unsigned char)(r + (20.0f - r) * t);
        px[3 * i + 1] = (unsigned char)(g + (60.0f - g) * t);
        px[3 * i + 2] = (unsigned char)(b + (140.0f - b) * t);
    }
    return stbi_write_png(path.c_str(), HMAP_SIZE, HMAP_SIZE, 3, px.data(), HMAP_SIZE * 3) != 0;
}

} // namespace

int main(int argc, char** argv) {
    uint64_t seed = 0, droplets = 40000;
    bool have_seed = false;
    const char* out = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!v) return usage();
        if (!strcmp(a, "--seed")) {
            if (!parse_u64(v, &seed)) return usage();
            have_seed = true;
        } else if (!strcmp(a, "--out")) {
            out = v;
        } else if (!strcmp(a, "--droplets")) {
            if (!parse_u64(v, &droplets) || droplets > 100000000) return usage();
        } else {
            return usage();
        }
        ++i;
    }
    if (!have_seed || !out) return usage();

    std::string dir(out);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        fprintf(stderr, "worldtool: can't create '%s': %s\n", out, ec.message().c_str());
        return 1;
    }
    generate_sample_world(seed, unsigned(droplets));
    if (!write_height_png(dir + "/height.png") || !write_color_png(dir + "/color.png")) {
        fprintf(stderr, "worldtool: can't write PNG files to '%s'\n", out);
        return 1;
    }
    printf("hash: %016" PRIx64 "\n", hash_world());
    return 0;
}
