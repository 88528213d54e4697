// Builds the distance-field font: a text description and its page, an L8 DDS with a full
// mip chain, from a TrueType font. The output depends only on the font file and the
// arguments, so the build can regenerate it at any time.
//
//   distfontgen <font.ttf> <out folder> <name> [size] [spread]
//
// writes <out folder>/<name>.fnt and <out folder>/<name>.dds ("page" names <name>).
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct GlyphImage {
    int code = 0;
    int w = 0, h = 0, xoff = 0, yoff = 0;
    float advance = 0;
    std::vector<uint8_t> pixels;
    int x = 0, y = 0; // page position
};

bool read_file(const char* path, std::vector<uint8_t>& out) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    bool ok = fseek(f, 0, SEEK_END) == 0;
    long len = ok ? ftell(f) : -1;
    ok = len > 0 && fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        out.resize(size_t(len));
        ok = fread(out.data(), 1, out.size(), f) == out.size();
    }
    fclose(f);
    return ok;
}

// Glyphs in code order onto shelves of a page `width` wide; returns the height used.
int pack_shelves(std::vector<GlyphImage>& glyphs, int width) {
    int x = 0, y = 0, shelf = 0;
    for (GlyphImage& g : glyphs) {
        if (g.w == 0) continue;
        if (x + g.w > width) {
            x = 0;
            y += shelf + 1;
            shelf = 0;
        }
        g.x = x;
        g.y = y;
        x += g.w + 1;
        if (g.h > shelf) shelf = g.h;
    }
    return y + shelf;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> make_dds(const std::vector<uint8_t>& page, int w, int h) {
    int levels = 1;
    for (int a = w, b = h; a > 1 || b > 1; a >>= 1, b >>= 1) ++levels;
    std::vector<uint8_t> out = {'D', 'D', 'S', ' '};
    put32(out, 124);
    put32(out, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000 | 0x20000); // caps height width pitch pf mips
    put32(out, uint32_t(h));
    put32(out, uint32_t(w));
    put32(out, uint32_t(w)); // pitch of level 0
    put32(out, 0);
    put32(out, uint32_t(levels));
    for (int i = 0; i < 11; ++i) put32(out, 0);
    put32(out, 32);      // pixel format size
    put32(out, 0x20000); // luminance
    put32(out, 0);
    put32(out, 8);
    put32(out, 0xff);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0x1000 | 0x8 | 0x400000); // texture, complex, mipmap
    for (int i = 0; i < 4; ++i) put32(out, 0);

    std::vector<uint8_t> level = page;
    int lw = w, lh = h;
    for (int l = 0; l < levels; ++l) {
        out.insert(out.end(), level.begin(), level.end());
        int nw = lw > 1 ? lw / 2 : 1, nh = lh > 1 ? lh / 2 : 1;
        std::vector<uint8_t> next(size_t(nw) * size_t(nh));
        for (int y = 0; y < nh; ++y)
            for (int x = 0; x < nw; ++x) {
                int x0 = x * 2 < lw ? x * 2 : lw - 1, x1 = x * 2 + 1 < lw ? x * 2 + 1 : x0;
                int y0 = y * 2 < lh ? y * 2 : lh - 1, y1 = y * 2 + 1 < lh ? y * 2 + 1 : y0;
                int sum = level[size_t(y0) * lw + x0] + level[size_t(y0) * lw + x1] +
                          level[size_t(y1) * lw + x0] + level[size_t(y1) * lw + x1];
                next[size_t(y) * nw + x] = uint8_t((sum + 2) / 4);
            }
        level.swap(next);
        lw = nw;
        lh = nh;
    }
    return out;
}

bool write_file(const std::string& path, const void* data, size_t size) {
    std::string tmp = path + ".tmp";
    FILE* f = fopen(tmp.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data, 1, size, f) == size;
    ok = fclose(f) == 0 && ok;
    if (ok) ok = rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) remove(tmp.c_str());
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: distfontgen <font.ttf> <out folder> <name> [size] [spread]\n");
        return 2;
    }
    const std::string out_dir = argv[2], name = argv[3];
    const int size = argc > 4 ? atoi(argv[4]) : 40;
    const int spread = argc > 5 ? atoi(argv[5]) : 5;
    if (size < 4 || size > 256 || spread < 1 || spread > 64) {
        fprintf(stderr, "distfontgen: bad size or spread\n");
        return 2;
    }
    std::vector<uint8_t> ttf;
    stbtt_fontinfo font;
    if (!read_file(argv[1], ttf) || !stbtt_InitFont(&font, ttf.data(), 0)) {
        fprintf(stderr, "distfontgen: can't read font '%s'\n", argv[1]);
        return 1;
    }
    const float scale = stbtt_ScaleForPixelHeight(&font, float(size));
    int ascent, descent, gap;
    stbtt_GetFontVMetrics(&font, &ascent, &descent, &gap);
    const int line_height = int(lroundf(float(ascent - descent + gap) * scale));

    // Printable ASCII and Latin-1: the text the game draws is bytes.
    std::vector<GlyphImage> glyphs;
    for (int code = 32; code < 256; ++code) {
        if (code >= 127 && code < 160) continue;
        if (!stbtt_FindGlyphIndex(&font, code)) continue;
        GlyphImage g;
        g.code = code;
        int adv, lsb;
        stbtt_GetCodepointHMetrics(&font, code, &adv, &lsb);
        g.advance = float(adv) * scale;
        unsigned char* sdf = stbtt_GetCodepointSDF(
            &font, scale, code, spread, 128, 128.0f / float(spread), &g.w, &g.h, &g.xoff, &g.yoff);
        if (sdf) {
            g.pixels.assign(sdf, sdf + size_t(g.w) * size_t(g.h));
            stbtt_FreeSDF(sdf, nullptr);
        } else {
            g.w = g.h = 0;
        }
        glyphs.push_back(std::move(g));
    }

    const int page_w = 512;
    int used = pack_shelves(glyphs, page_w), page_h = 4;
    while (page_h < used) page_h *= 2;
    std::vector<uint8_t> page(size_t(page_w) * size_t(page_h), 0);
    for (const GlyphImage& g : glyphs)
        for (int y = 0; y < g.h; ++y)
            memcpy(&page[size_t(g.y + y) * page_w + g.x], &g.pixels[size_t(y) * g.w], size_t(g.w));

    std::string text;
    char line[256];
    snprintf(line, sizeof(line), "info face=\"DejaVu Sans\" size=%d spread=%d\n", size, spread);
    text += line;
    snprintf(line, sizeof(line), "common lineHeight=%d base=0 scaleW=%d scaleH=%d\n", line_height,
             page_w, page_h);
    text += line;
    snprintf(line, sizeof(line), "page id=0 file=\"%s\"\n", name.c_str());
    text += line;
    snprintf(line, sizeof(line), "chars count=%d\n", int(glyphs.size()));
    text += line;
    for (const GlyphImage& g : glyphs) {
        snprintf(line, sizeof(line),
                 "char id=%d x=%d y=%d width=%d height=%d xoffset=%d yoffset=%d xadvance=%.3f\n",
                 g.code, g.x, g.y, g.w, g.h, g.xoff, -g.yoff, double(g.advance));
        text += line;
    }
    std::string kern;
    int kern_count = 0;
    for (const GlyphImage& a : glyphs)
        for (const GlyphImage& b : glyphs) {
            int k = stbtt_GetCodepointKernAdvance(&font, a.code, b.code);
            float amount = roundf(float(k) * scale * 100.0f) / 100.0f;
            if (amount == 0) continue;
            snprintf(line, sizeof(line), "kerning first=%d second=%d amount=%.2f\n", a.code, b.code,
                     double(amount));
            kern += line;
            ++kern_count;
        }
    snprintf(line, sizeof(line), "kernings count=%d\n", kern_count);
    text += line;
    text += kern;

    std::vector<uint8_t> dds = make_dds(page, page_w, page_h);
    if (!write_file(out_dir + "/" + name + ".dds", dds.data(), dds.size()) ||
        !write_file(out_dir + "/" + name + ".fnt", text.data(), text.size())) {
        fprintf(stderr, "distfontgen: can't write to '%s'\n", out_dir.c_str());
        return 1;
    }
    printf("distfontgen: %d glyphs, %d kernings, page %dx%d\n", int(glyphs.size()), kern_count,
           page_w, page_h);
    return 0;
}
