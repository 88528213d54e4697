// fxatlas OUTDIR: writes the particle atlases blendfx.dds and glowfx.dds (512 x 256).
#include "tools/texgen/fx_atlas.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: fxatlas OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];
    if (!write_file(dir + "/blendfx.dds", encode_dds(make_mip_chain(make_blend_atlas()))) ||
        !write_file(dir + "/glowfx.dds", encode_dds(make_mip_chain(make_glow_atlas())))) {
        fprintf(stderr, "fxatlas: can't write the atlases to %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
