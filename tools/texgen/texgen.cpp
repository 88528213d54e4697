// texgen OUTDIR: writes detail.dds and foam.dds (256 x 256, tileable, with mip chains).
#include "tools/texgen/tex_noise.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: texgen OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];
    if (!write_file(dir + "/detail.dds", encode_dds(make_mip_chain(make_detail_texture(256)))) ||
        !write_file(dir + "/foam.dds", encode_dds(make_mip_chain(make_foam_texture(256))))) {
        fprintf(stderr, "texgen: can't write the textures to %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
