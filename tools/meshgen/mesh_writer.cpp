#include "tools/meshgen/mesh_writer.h"

#include "render/mesh.h"

#include <cstdio>
#include <cstring>

int MeshModel::addVertex(const MeshVertex& v) {
    verts.push_back(v);
    return int(verts.size()) - 1;
}

void MeshModel::addTri(int a, int b, int c) {
    indices.push_back(uint16_t(a));
    indices.push_back(uint16_t(b));
    indices.push_back(uint16_t(c));
}

void MeshModel::addBall(float x, float y, float z, float r) {
    balls.insert(balls.end(), {x, y, z, r});
}

std::vector<VertexElementDesc> mesh_elements(const MeshModel& m, int& stride) {
    std::vector<VertexElementDesc> e = {
        {0, 0, VSD_FLOAT3, VSD_POSITION, 0},  {12, 0, VSD_FLOAT3, VSD_NORMAL, 0},
        {24, 0, VSD_FLOAT2, VSD_TEXCOORD, 0}, {32, 0, VSD_FLOAT2, VSD_TEXCOORD, 1},
        {40, 0, VSD_COLOR32, VSD_COLOR, 0},
    };
    stride = 44;
    if (m.morph) {
        e.push_back({44, 0, VSD_FLOAT3, VSD_TEXCOORD, 2});
        e.push_back({56, 0, VSD_FLOAT3, VSD_TEXCOORD, 3});
        stride = 68;
    }
    return e;
}

namespace {
struct Out {
    std::vector<uint8_t> b;
    void raw(const void* p, size_t n) {
        const uint8_t* s = static_cast<const uint8_t*>(p);
        b.insert(b.end(), s, s + n);
    }
    void u8(unsigned v) { b.push_back(uint8_t(v)); }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) u8((v >> (8 * i)) & 255);
    }
    void f32(float f) {
        uint32_t v;
        memcpy(&v, &f, 4);
        u32(v);
    }
    void str(const std::string& s) {
        u8(unsigned(s.size()));
        raw(s.data(), s.size());
        u8(0);
    }
};
} // namespace

std::vector<uint8_t> encode_mesh(const MeshModel& m, int extra_elements) {
    int stride = 0;
    std::vector<VertexElementDesc> elems = mesh_elements(m, stride);
    for (int i = 0; i < extra_elements; ++i)
        elems.push_back({uint16_t(stride), 0, VSD_FLOAT1, VSD_TEXCOORD, uint8_t(4 + i)});
    const int pad = extra_elements * 4;

    Out p;
    p.str(m.shader_lo);
    p.str(m.shader_hi);
    p.u8(unsigned(m.textures.size()));
    for (const std::string& t : m.textures) p.str(t);
    p.u8(unsigned(m.balls.size() / 4));
    for (float f : m.balls) p.f32(f);
    p.u8(unsigned(elems.size()));
    for (const VertexElementDesc& e : elems) {
        p.u8(e.offset & 255);
        p.u8(e.offset >> 8);
        p.u8(e.stream);
        p.u8(e.type);
        p.u8(e.usage);
        p.u8(e.usage_index);
    }
    p.u32(uint32_t(stride + pad));
    p.u32(uint32_t(m.verts.size()));
    p.u32(uint32_t(m.indices.size() / 3));
    for (const MeshVertex& v : m.verts) {
        const float f[10] = {v.pos[0],    v.pos[1], v.pos[2], v.normal[0], v.normal[1],
                             v.normal[2], v.uv[0],  v.uv[1],  v.sample[0], v.sample[1]};
        for (float x : f) p.f32(x);
        p.u32(v.color);
        if (m.morph) {
            for (float x : v.morph_pos) p.f32(x);
            for (float x : v.morph_normal) p.f32(x);
        }
        for (int i = 0; i < extra_elements; ++i) p.f32(0.0f);
    }
    for (uint16_t i : m.indices) {
        p.u8(i & 255);
        p.u8(i >> 8);
    }
    Out file;
    file.u32(MESH_FILE_VERSION);
    file.u32(uint32_t(p.b.size()));
    file.raw(p.b.data(), p.b.size());
    return file.b;
}

bool write_mesh_file(const std::string& path, const MeshModel& m) {
    std::vector<uint8_t> bytes = encode_mesh(m);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}
