// Textures by name: DDS files, shared and reference counted by full path.
#include "platform/dyn_array.h"
#include "platform/file_stream.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "render/dds.h"
#include "render/device_internal.h"
#include "render/textures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {
struct TextureEntry {
    Texture* tex;
    int refcount;
    char path[260];
};
DynArray<TextureEntry> registry;

// Whole file into memory; null when it cannot be read.
uint8_t* read_file(const char* path, size_t& size) {
    FILE* f = open_regular_file(path);
    if (!f) return nullptr;
    uint8_t* data = nullptr;
    long len = -1;
    if (fseek(f, 0, SEEK_END) == 0) len = ftell(f);
    if (len >= 0 && fseek(f, 0, SEEK_SET) == 0) {
        data = static_cast<uint8_t*>(malloc(size_t(len) + 1));
        if (data && fread(data, 1, size_t(len), f) != size_t(len)) {
            free(data);
            data = nullptr;
        }
    }
    fclose(f);
    size = size_t(len);
    return data;
}

void copy_level(Texture* tex, const DdsImage& img, int level, const uint8_t* src,
                const char* path) {
    int pitch = 0, row_bytes, rows;
    dds_level_size(img, level, &row_bytes, &rows);
    // Uncompressed levels are stored as the device takes them: no staging copy.
    int w = img.width >> level > 1 ? img.width >> level : 1;
    int h = img.height >> level > 1 ? img.height >> level : 1;
    if (!img.block_size && row_bytes == w * img.pixel_size && rows == h &&
        write_texture_rect(tex, level, 0, 0, w, h, src))
        return;
    uint8_t* dst = static_cast<uint8_t*>(lock_texture_level(tex, level, pitch, true));
    if (!dst) fatal("error loading texture '%s' (code 0x%08X)", path, D3DERR_INVALIDCALL);
    for (int y = 0; y < rows; ++y)
        memcpy(dst + size_t(y) * size_t(pitch), src + size_t(y) * size_t(row_bytes),
               size_t(row_bytes));
    unlock_texture_level(tex);
}

Texture* load_dds(const char* path) {
    size_t size = 0;
    uint8_t* file = read_file(path, size);
    if (!file) {
        debug("Error loading file '%s'", path);
        return nullptr;
    }
    DdsImage img;
    if (!parse_dds(file, size, img)) {
        free(file);
        fatal("Texture '%s' is not a DDS", path);
    }
    Texture* tex =
        create_texture(img.width, img.height, img.levels, 0, img.format, D3DPOOL_MANAGED);
    if (!tex) {
        free(file);
        fatal("Error creating texture from '%s'", path);
    }
    const uint8_t* src = img.data;
    for (int level = 0; level < img.levels; ++level) {
        copy_level(tex, img, level, src, path);
        src += dds_level_size(img, level);
    }
    debug("loaded DDS texture '%s'", path);
    free(file);
    return tex;
}
} // namespace

Texture* get_texture(const char* name, bool must_exist) {
    TempString<260> path = make_full_path(name);
    for (TextureEntry& e : registry)
        if (strcasecmp(e.path, path) == 0) {
            ++e.refcount;
            return e.tex;
        }
    Texture* tex = load_dds(path);
    if (!tex) {
        if (must_exist) fatal("Can't load texture from '%s'", path.c_str());
        return nullptr;
    }
    TextureEntry e = {tex, 1, {}};
    snprintf(e.path, sizeof(e.path), "%s", path.c_str());
    registry.push_back(e);
    return tex;
}

void free_texture(Texture* tex) {
    for (int i = 0; i < registry.num; ++i) {
        if (registry[i].tex != tex) continue;
        if (--registry[i].refcount <= 0) {
            release_texture(tex);
            registry.erase(i);
        }
        return;
    }
}

void free_all_textures() {
    for (TextureEntry& e : registry) release_texture(e.tex);
    registry.clear();
}

int get_texture_refcount(const Texture* tex) {
    for (const TextureEntry& e : registry)
        if (e.tex == tex) return e.refcount;
    return 0;
}
