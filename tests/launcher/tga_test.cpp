// The launcher reads font.tga with the game's reader: a file loads in both or in neither.
#include "launcher/gui_renderer.h"
#include "platform/file_stream.h"
#include "platform/tga.h"
#include "test_support.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <vector>

namespace {
std::vector<uint8_t> tga_bytes(int w, int h, int id_len, int colormap_type, int colormap_entries,
                               uint32_t first_pixel) {
    std::vector<uint8_t> d(18, 0);
    d[0] = uint8_t(id_len);
    d[1] = uint8_t(colormap_type);
    d[2] = 2;
    d[5] = uint8_t(colormap_entries);
    d[6] = uint8_t(colormap_entries >> 8);
    d[7] = 24;
    d[12] = uint8_t(w);
    d[13] = uint8_t(w >> 8);
    d[14] = uint8_t(h);
    d[15] = uint8_t(h >> 8);
    d[16] = 32;
    d[17] = 8;
    for (int i = 0; i < w * h; ++i) {
        uint32_t p = i == 0 ? first_pixel : 0xFFFFFFFFu;
        for (int b = 0; b < 4; ++b) d.push_back(uint8_t(p >> (8 * b)));
    }
    return d;
}

std::string save(const std::string& dir, const std::vector<uint8_t>& d, size_t n) {
    std::string path = dir + "/font.tga";
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(d.data(), 1, n, f);
    fclose(f);
    return path;
}

// The reader's verdict: "" when the file loads, else its message.
std::string read_verdict(const std::string& path, TgaImage& img) {
    try {
        load_tga(path.c_str(), img);
        return "";
    } catch (const StreamException& e) {
        return e.message;
    }
}
} // namespace

TEST(Tga, HeaderFieldsTheGameIgnoresDoNotStopTheLauncher) {
    // An identification length and a colour map the game's reader does not consult: the
    // pixels follow the header directly, in both programs.
    std::string dir = make_temp_dir("tga");
    std::vector<uint8_t> d = tga_bytes(32, 32, 200, 1, 4000, 0x80123456u);
    std::string path = save(dir, d, d.size());
    TgaImage img;
    ASSERT_EQ(read_verdict(path, img), "");
    EXPECT_EQ(img.pixels[0], 0x80123456u);
    SoftwareGuiRenderer r; // a failed load would be fatal
    Font* font = r.load_font(path.c_str());
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->lineHeight, 2);
    EXPECT_EQ(font->image.pixels[0], 0x80123456u);
}

TEST(Tga, EveryTruncationAndHeaderCorruptionIsRefusedOrLoadsWhole) {
    std::string dir = make_temp_dir("tgacut");
    std::vector<uint8_t> good = tga_bytes(4, 4, 3, 0, 0, 0x80FFFFFFu);
    TgaImage img;
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_NE(read_verdict(save(dir, good, n), img), "") << n;
    EXPECT_EQ(img.pixels.num, 0);
    for (int byte = 0; byte < 18; ++byte) {
        for (int v : {0, 1, 0x7F, 0x80, 0xFF}) {
            std::vector<uint8_t> d = good;
            d[size_t(byte)] = uint8_t(v);
            if (read_verdict(save(dir, d, d.size()), img).empty()) {
                EXPECT_GT(img.width, 0);
                EXPECT_GT(img.height, 0);
                EXPECT_EQ(img.pixels.num, img.width * img.height);
            }
        }
    }
    // A folder named font.tga is no font.
    std::string folder = dir + "/folder.tga";
    ASSERT_EQ(system(("mkdir -p '" + folder + "'").c_str()), 0);
    EXPECT_EQ(read_verdict(folder, img), "can't open file");
}
