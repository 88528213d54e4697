// meshgen OUTDIR: writes the game's meshes (house tiles, stones, creatures).
#include "tools/meshgen/mesh_writer.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: meshgen OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    for (const std::string& name : model_names())
        if (!write_mesh_file(dir + "/" + name, make_model(name))) {
            fprintf(stderr, "meshgen: can't write %s/%s\n", dir.c_str(), name.c_str());
            return 1;
        }
    return 0;
}
