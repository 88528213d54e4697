// Building meshes in memory and writing them in the game's mesh file format.
#pragma once

#include "render/vertex_decl.h"

#include <cstdint>
#include <string>
#include <vector>

struct MeshVertex {
    float pos[3];
    float normal[3];
    float uv[2];
    float sample[2]; // house tiles: where the corner heights are sampled (0..1 across the cell)
    uint32_t color;
    float morph_pos[3]; // morph meshes: offset of the target pose
    float morph_normal[3];
};

struct MeshModel {
    std::string shader_lo, shader_hi;
    std::vector<std::string> textures;
    std::vector<float> balls; // x, y, z, radius
    bool morph = false;
    std::vector<MeshVertex> verts;
    std::vector<uint16_t> indices;

    int addVertex(const MeshVertex& v);
    void addTri(int a, int b, int c);
    void addBall(float x, float y, float z, float r);
};

// The vertex elements of a model (5, or 7 with the morph target) and its stride.
std::vector<VertexElementDesc> mesh_elements(const MeshModel& m, int& stride);
// The file image; `extra_elements` pads the declaration with unused texture coordinates
// (tests of the declaration limit).
std::vector<uint8_t> encode_mesh(const MeshModel& m, int extra_elements = 0);
bool write_mesh_file(const std::string& path, const MeshModel& m);

// The game's models by file name ("tower_wall1.mesh", ...), all of them in order.
std::vector<std::string> model_names();
MeshModel make_model(const std::string& name);
