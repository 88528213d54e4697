// fontgen: renders the font assets the programs read, from a TrueType font.
//   fontgen bitmap FONT.ttf OUT.tga   the 16 x 16 character grid "font.tga" (16-pixel cells)
#include "tools/fontgen/bitmap_font.h"
#include "tools/fontgen/tga_writer.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {
constexpr int BITMAP_CELL_SIZE = 16;
constexpr long MAX_FONT_FILE = 64L << 20;

bool read_file(const char* path, std::vector<unsigned char>& data) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    long size = -1;
    if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
    bool ok = size > 0 && size <= MAX_FONT_FILE && fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        data.resize(size_t(size));
        ok = fread(data.data(), 1, data.size(), f) == data.size();
    }
    fclose(f);
    return ok;
}

int make_bitmap_font(const char* ttf_path, const char* out_path) {
    std::vector<unsigned char> ttf;
    if (!read_file(ttf_path, ttf)) {
        fprintf(stderr, "fontgen: can't read %s\n", ttf_path);
        return 1;
    }
    BitmapFontImage image;
    const char* error = "";
    if (!render_bitmap_font(ttf.data(), ttf.size(), BITMAP_CELL_SIZE, image, &error)) {
        fprintf(stderr, "fontgen: %s: %s\n", ttf_path, error);
        return 1;
    }
    if (!write_tga(out_path, image.pixels.data(), image.width, image.height)) {
        fprintf(stderr, "fontgen: can't write %s\n", out_path);
        return 1;
    }
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "bitmap") == 0) return make_bitmap_font(argv[2], argv[3]);
    fprintf(stderr, "usage: fontgen bitmap FONT.ttf OUT.tga\n");
    return 2;
}
