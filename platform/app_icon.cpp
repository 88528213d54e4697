#include "platform/app_icon.h"

#include <SDL.h>
#include <cmath>
#include <vector>

namespace {
struct Rgb {
    float r, g, b;
};

Rgb mix(Rgb a, Rgb b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

float clamp01(float v) {
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

float smooth(float e0, float e1, float v) {
    float t = clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

// Ridge heights (0 top, 1 bottom) of three mountain ranges, far to near.
float ridge(int range, float x) {
    switch (range) {
    case 0:
        return 0.50f - 0.10f * sinf(x * 7.0f + 0.8f) - 0.05f * sinf(x * 17.0f + 2.0f);
    case 1:
        return 0.58f - 0.17f * expf(-powf((x - 0.36f) * 4.2f, 2)) - 0.03f * sinf(x * 23.0f);
    default:
        return 0.70f - 0.07f * sinf(x * 5.0f + 2.6f) - 0.02f * sinf(x * 31.0f + 1.0f);
    }
}

// Colour and coverage of one sample point in unit coordinates (y down).
Rgb shade(float x, float y) {
    const Rgb sky_top = {0.10f, 0.22f, 0.38f}, sky_low = {0.96f, 0.70f, 0.42f};
    const Rgb ranges[3] = {{0.46f, 0.42f, 0.55f}, {0.24f, 0.27f, 0.36f}, {0.16f, 0.30f, 0.19f}};
    const Rgb snow = {0.95f, 0.94f, 0.97f};
    const float water_line = 0.76f;
    bool in_water = y > water_line;
    // The lake mirrors what lies above its line, darker and bluer.
    float sy = in_water ? 2 * water_line - y : y;
    Rgb c = mix(sky_top, sky_low, smooth(0.05f, water_line, sy));
    float sun = hypotf(x - 0.68f, sy - 0.42f);
    c = mix(c, Rgb{1.0f, 0.93f, 0.70f}, 1 - smooth(0.085f, 0.10f, sun));
    c = mix(c, Rgb{1.0f, 0.80f, 0.55f}, 0.35f * (1 - smooth(0.10f, 0.26f, sun)));
    for (int r = 0; r < 3; ++r) {
        float top = ridge(r, x);
        if (sy < top) continue;
        c = ranges[r];
        if (r == 1) c = mix(snow, c, smooth(0.45f, 0.49f, sy)); // snow above the snow line
        c = mix(c, sky_low, 0.12f * (2 - r) * (1 - smooth(top, top + 0.2f, sy)));
    }
    if (in_water) {
        float ripple = 0.5f + 0.5f * sinf(y * 160.0f + sinf(x * 9.0f) * 2.0f);
        c = mix(c, Rgb{0.08f, 0.20f, 0.34f}, 0.45f + 0.1f * ripple);
    }
    return c;
}

// Coverage of the rounded square at a point in unit coordinates.
bool inside_square(float x, float y) {
    const float m = 0.04f, r = 0.18f;
    float dx = fmaxf(fmaxf(m + r - x, x - (1 - m - r)), 0.0f);
    float dy = fmaxf(fmaxf(m + r - y, y - (1 - m - r)), 0.0f);
    return dx * dx + dy * dy <= r * r && x >= m && x <= 1 - m && y >= m && y <= 1 - m;
}
} // namespace

void draw_app_icon(uint32_t* argb, int size) {
    const int n = 4; // 4 x 4 samples a pixel
    for (int py = 0; py < size; ++py)
        for (int px = 0; px < size; ++px) {
            float r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < n; ++sy)
                for (int sx = 0; sx < n; ++sx) {
                    float x = (float(px) + (float(sx) + 0.5f) / n) / float(size);
                    float y = (float(py) + (float(sy) + 0.5f) / n) / float(size);
                    if (!inside_square(x, y)) continue;
                    Rgb c = shade(x, y);
                    r += c.r;
                    g += c.g;
                    b += c.b;
                    a += 1;
                }
            uint32_t out = 0;
            if (a > 0) {
                // Colour averaged over the covered samples, alpha the coverage.
                auto q = [](float v) { return uint32_t(lroundf(clamp01(v) * 255.0f)); };
                out = q(a / (n * n)) << 24 | q(r / a) << 16 | q(g / a) << 8 | q(b / a);
            }
            argb[size_t(py) * size_t(size) + size_t(px)] = out;
        }
}

void set_window_icon(SDL_Window* window) {
    if (!window) return;
    const int size = 64;
    std::vector<uint32_t> pixels(size * size);
    draw_app_icon(pixels.data(), size);
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), size, size, 32, size * 4,
                                                           SDL_PIXELFORMAT_ARGB8888);
    if (!icon) return;
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
}
