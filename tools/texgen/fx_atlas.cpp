#include "tools/texgen/fx_atlas.h"

#include <cmath>

namespace {
constexpr int W = 512, H = 256;
constexpr float PI = 3.14159265f;

float clamp01(float v) {
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}
float smoothstep(float a, float b, float x) {
    float t = clamp01((x - a) / (b - a));
    return t * t * (3.0f - 2.0f * t);
}
uint32_t pack(float r, float g, float b, float a) {
    auto q = [](float v) { return uint32_t(lrintf(clamp01(v) * 255.0f)); };
    return q(a) << 24 | q(r) << 16 | q(g) << 8 | q(b);
}

// Calls f(x, y) with x, y in -1..1 over the sprite's pixel centres; f returns the pixel.
template <typename F>
void sprite(Image& img, int x0, int y0, int size, F f) {
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float sx = (float(x) + 0.5f) / float(size) * 2.0f - 1.0f;
            float sy = (float(y) + 0.5f) / float(size) * 2.0f - 1.0f;
            img.px[size_t(y0 + y) * W + size_t(x0 + x)] = f(sx, sy);
        }
}

// Noise on the sprite's square (0..1), wrapping so that nothing seams at its border.
float noise(float x, float y, int period, int octaves, uint32_t seed) {
    return periodic_fbm(x * 0.5f + 0.5f, y * 0.5f + 0.5f, period, octaves, seed);
}

uint32_t smoke_puff(float x, float y, uint32_t seed) {
    float r = sqrtf(x * x + y * y);
    float n = noise(x, y, 4, 5, seed);
    float billow = noise(x, y, 8, 3, seed + 17);
    // Lumpy edge: the radius the density reaches zero at wobbles with the noise.
    float edge = 0.62f + 0.3f * n;
    float dens = smoothstep(edge, edge * 0.35f, r) * (0.55f + 0.65f * billow);
    // Lit from the upper left, darker in the lumps' shadow.
    float lit = 0.72f + 0.28f * clamp01(0.5f - 0.45f * (x + y) * 0.7f + (billow - 0.5f));
    return pack(lit, lit, lit * 0.98f, dens);
}

uint32_t soft_blob(float x, float y) {
    float r2 = x * x + y * y;
    float a = r2 >= 1.0f ? 0.0f : expf(-r2 * 4.0f) * (1.0f - r2);
    return pack(1.0f, 1.0f, 1.0f, a);
}

uint32_t splash(float x, float y) {
    // Droplets on rings around the centre, larger towards the middle.
    float a = 0.0f;
    for (int i = 0; i < 28; ++i) {
        float ang = float(i) * 2.399963f;
        float ring = 0.18f + 0.7f * float(i % 7) / 7.0f;
        float cx = cosf(ang) * ring, cy = sinf(ang) * ring;
        float rad = 0.13f - 0.1f * ring;
        float d = sqrtf((x - cx) * (x - cx) + (y - cy) * (y - cy));
        a = fmaxf(a, smoothstep(rad, rad * 0.6f, d));
    }
    float core = smoothstep(0.35f, 0.0f, sqrtf(x * x + y * y)) * 0.6f;
    float edge = smoothstep(1.0f, 0.9f, sqrtf(x * x + y * y));
    float lit = 0.8f + 0.2f * clamp01(-(x + y));
    return pack(lit, lit, 1.0f, fmaxf(a, core) * edge);
}

uint32_t droplet(float x, float y) {
    float r = sqrtf(x * x + y * y);
    float a = smoothstep(0.9f, 0.75f, r);
    float hl = expf(-((x + 0.3f) * (x + 0.3f) + (y + 0.35f) * (y + 0.35f)) * 30.0f);
    float rim = smoothstep(0.4f, 0.85f, r) * 0.3f;
    float lit = clamp01(0.65f + rim + hl);
    return pack(lit, lit, 1.0f, a * (0.6f + 0.4f * smoothstep(0.2f, 0.8f, r)));
}

uint32_t debris(float x, float y) {
    float ang = atan2f(y, x);
    float r = sqrtf(x * x + y * y);
    // An angular rock: a radius that changes in facets.
    float facet = floorf((ang + PI) / (2.0f * PI) * 7.0f);
    float edge = 0.55f + 0.25f * periodic_noise(facet, 0.5f, 7, 911);
    float a = smoothstep(edge, edge - 0.06f, r);
    float shade = 0.35f + 0.4f * periodic_noise(facet, 3.5f, 7, 913) + 0.25f * clamp01(-(x + y));
    return pack(shade, shade * 0.92f, shade * 0.85f, a);
}

uint32_t bubble(float x, float y) {
    float r = sqrtf(x * x + y * y);
    float ring = smoothstep(0.62f, 0.78f, r) * smoothstep(0.92f, 0.8f, r);
    float hl = expf(-((x + 0.3f) * (x + 0.3f) + (y + 0.3f) * (y + 0.3f)) * 40.0f);
    return pack(1.0f, 1.0f, 1.0f, clamp01(ring + hl + 0.08f * smoothstep(0.85f, 0.6f, r)));
}

uint32_t smoke_ring(float x, float y) {
    float r = sqrtf(x * x + y * y);
    float n = noise(x, y, 8, 4, 701);
    float band = expf(-((r - 0.6f) * (r - 0.6f)) / (0.02f + 0.02f * n));
    float a = band * (0.5f + 0.7f * n) * smoothstep(1.0f, 0.9f, r);
    float lit = 0.75f + 0.25f * n;
    return pack(lit, lit, lit, a);
}

uint32_t glow(float a) {
    return pack(1.0f, 1.0f, 1.0f, a);
}

float fade_edge(float x, float y) {
    return smoothstep(1.0f, 0.85f, sqrtf(x * x + y * y));
}

float halo(float x, float y, float k) {
    float r2 = x * x + y * y;
    return expf(-r2 * k) * fade_edge(x, y);
}

float star(float x, float y, int rays, float sharp) {
    float ang = atan2f(y, x), r = sqrtf(x * x + y * y);
    float ray = powf(fabsf(cosf(ang * float(rays) * 0.5f)), sharp);
    return ray * expf(-r * 3.5f) * fade_edge(x, y);
}

float flame(float x, float y, uint32_t seed) {
    float n = noise(x, y, 4, 5, seed);
    float r = sqrtf(x * x + y * y * 0.8f);
    float edge = 0.45f + 0.45f * n;
    return smoothstep(edge, 0.0f, r) * (0.6f + 0.6f * n) * fade_edge(x, y);
}
} // namespace

Image make_blend_atlas() {
    Image img;
    img.width = W;
    img.height = H;
    img.px.assign(size_t(W) * H, 0u);
    for (int i = 0; i < 4; ++i)
        sprite(img, 128 * i, 0, 128,
               [&](float x, float y) { return smoke_puff(x, y, 101u + 31u * uint32_t(i)); });
    sprite(img, 0, 128, 128, soft_blob);
    sprite(img, 128, 128, 128, splash);
    sprite(img, 256, 128, 64, droplet);
    sprite(img, 320, 128, 64, debris);
    sprite(img, 256, 192, 64, bubble);
    sprite(img, 320, 192, 64, soft_blob);
    sprite(img, 384, 128, 128, smoke_ring);
    return img;
}

Image make_glow_atlas() {
    Image img;
    img.width = W;
    img.height = H;
    img.px.assign(size_t(W) * H, 0u);
    // Trail ribbon: bright core across v, fading along u with a flicker of sparks.
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < W; ++x) {
            float v = (float(y) + 0.5f) / 64.0f * 2.0f - 1.0f;
            float u = (float(x) + 0.5f) / float(W);
            float across = expf(-v * v * 5.0f) * smoothstep(1.0f, 0.85f, fabsf(v));
            float core = expf(-v * v * 40.0f);
            float flicker = 0.75f + 0.5f * periodic_fbm(u, v * 0.5f + 0.5f, 16, 3, 301);
            float along = powf(1.0f - u, 1.3f) * smoothstep(0.0f, 0.02f, u + 0.02f);
            img.px[size_t(y) * W + size_t(x)] =
                glow(clamp01((across * 0.7f + core) * flicker) * along);
        }
    sprite(img, 0, 64, 64,
           [](float x, float y) { return glow(halo(x, y, 5.0f) * 0.7f + halo(x, y, 40.0f)); });
    sprite(img, 64, 64, 64, [](float x, float y) { return glow(halo(x, y, 18.0f)); });
    sprite(img, 128, 64, 64, [](float x, float y) {
        return glow(clamp01(star(x, y, 4, 40.0f) * 1.3f + halo(x, y, 30.0f)));
    });
    sprite(img, 192, 64, 64, [](float x, float y) {
        float r = sqrtf(x * x + y * y);
        return glow(expf(-(r - 0.75f) * (r - 0.75f) * 300.0f) * fade_edge(x, y));
    });
    for (int i = 0; i < 4; ++i)
        sprite(img, 256 + 64 * i, 64, 64,
               [&](float x, float y) { return glow(flame(x, y, 401u + 13u * uint32_t(i))); });
    sprite(img, 0, 128, 128, [](float x, float y) { return glow(halo(x, y, 3.5f)); });
    sprite(img, 128, 128, 128, [](float x, float y) {
        float r = sqrtf(x * x + y * y);
        float n = noise(x, y, 8, 4, 503);
        float band = expf(-(r - 0.72f) * (r - 0.72f) * 90.0f);
        float inner = smoothstep(0.2f, 0.72f, r) * 0.15f;
        return glow(clamp01((band * (0.6f + 0.6f * n) + inner) * fade_edge(x, y)));
    });
    sprite(img, 256, 128, 128, [](float x, float y) {
        return glow(clamp01(star(x, y, 6, 60.0f) + star(x, y, 2, 200.0f) * 0.8f +
                            halo(x, y, 12.0f) * 0.8f + halo(x, y, 60.0f)));
    });
    sprite(img, 384, 128, 128, [](float x, float y) {
        float n = noise(x, y, 4, 5, 607);
        float r = sqrtf(x * x + y * y);
        float body = smoothstep(0.55f + 0.35f * n, 0.1f, r);
        return glow(clamp01(body * (0.55f + 0.6f * n) + halo(x, y, 25.0f) * 0.5f));
    });
    return img;
}
