// icongen: the desktop icon in the hicolor theme's sizes, as PNG files, made at build time.
// Usage: icongen OUT_FOLDER  (writes OUT_FOLDER/<n>x<n>/apps/veltmoor.png)
#include "platform/app_icon.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: icongen OUT_FOLDER\n");
        return 2;
    }
    for (int size : {16, 32, 48, 64, 128, 256}) {
        std::vector<uint32_t> argb(size_t(size) * size_t(size));
        draw_app_icon(argb.data(), size);
        std::vector<unsigned char> rgba(argb.size() * 4);
        for (size_t i = 0; i < argb.size(); ++i) {
            rgba[i * 4 + 0] = (unsigned char)(argb[i] >> 16);
            rgba[i * 4 + 1] = (unsigned char)(argb[i] >> 8);
            rgba[i * 4 + 2] = (unsigned char)argb[i];
            rgba[i * 4 + 3] = (unsigned char)(argb[i] >> 24);
        }
        std::string dir =
            std::string(argv[1]) + "/" + std::to_string(size) + "x" + std::to_string(size);
        mkdir(argv[1], 0755);
        mkdir(dir.c_str(), 0755);
        dir += "/apps";
        mkdir(dir.c_str(), 0755);
        std::string path = dir + "/veltmoor.png";
        if (!stbi_write_png(path.c_str(), size, size, 4, rgba.data(), size * 4)) {
            fprintf(stderr, "icongen: can't write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
