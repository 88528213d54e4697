#include "game/screenshot.h"

#include "platform/log.h"
#include "platform/paths.h"
#include "platform/timer.h"
#include "render/device.h"
#include "render/gpu_load.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace {
struct PngBuffer {
    unsigned char* data = nullptr;
    size_t size = 0, capacity = 0;
    bool failed = false;
};

void append_png(void* ctx, void* bytes, int n) {
    auto* b = static_cast<PngBuffer*>(ctx);
    if (b->failed || n <= 0) return;
    if (b->size + size_t(n) > b->capacity) {
        size_t cap = b->capacity ? b->capacity * 2 : 1 << 20;
        while (cap < b->size + size_t(n)) cap *= 2;
        auto* p = static_cast<unsigned char*>(realloc(b->data, cap));
        if (!p) {
            b->failed = true;
            return;
        }
        b->data = p;
        b->capacity = cap;
    }
    memcpy(b->data + b->size, bytes, size_t(n));
    b->size += size_t(n);
}
} // namespace

void screenshot_name(char* out, int size) {
    time_t now = time(nullptr);
    struct tm t;
    if (now == time_t(-1) || !localtime_r(&now, &t)) {
        snprintf(out, size_t(size), "shots/shot.png");
        return;
    }
    snprintf(out, size_t(size), "shots/shot%4u_%02u_%02u_%02u_%02u_%02u.png",
             unsigned(t.tm_year + 1900), unsigned(t.tm_mon + 1), unsigned(t.tm_mday),
             unsigned(t.tm_hour), unsigned(t.tm_min), unsigned(t.tm_sec));
}

bool write_screenshot_png(const char* path, unsigned char* argb, int width, int height, int pitch) {
    // ARGB words in memory are B, G, R, A bytes: reorder to R, G, B, A, opaque.
    for (int y = 0; y < height; ++y) {
        unsigned char* row = argb + size_t(y) * size_t(pitch);
        for (int x = 0; x < width; ++x) {
            unsigned char* p = row + 4 * x;
            unsigned char b = p[0];
            p[0] = p[2];
            p[2] = b;
            p[3] = 255;
        }
    }
    PngBuffer buf;
    bool ok =
        stbi_write_png_to_func(append_png, &buf, width, height, 4, argb, pitch) && !buf.failed;
    if (ok) {
        FILE* f = fopen(path, "wb");
        ok = f && fwrite(buf.data, 1, buf.size, f) == buf.size;
        if (f) ok = (fclose(f) == 0) && ok;
    }
    free(buf.data);
    return ok;
}

void take_screenshot() {
    int64_t start = get_ref_time();
    debug("screenshot...");
    int w = 0, h = 0, pitch = 0;
    auto* pixels = static_cast<unsigned char*>(capture_front_buffer(w, h, pitch));
    if (!pixels) return;
    char name[64];
    screenshot_name(name, sizeof(name));
    bool ok = write_screenshot_png(user_file_path(name), pixels, w, h, pitch);
    release_front_buffer_capture();
    if (!ok)
        debug("failed to save screenshot to '%s'", name);
    else
        debug("screenshot captured to '%s' in %d ms", name, get_time_msec(get_ref_time() - start));
}
