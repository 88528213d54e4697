// Meshes by name: the mesh file format, loaded into static buffers, reference counted.
#pragma once

#include "platform/dyn_array.h"
#include "render/vertex_decl.h"

enum : unsigned { MESH_FILE_VERSION = 0x12040900 };

struct GpuBuffer;

struct MeshName {
    char name[64];
};
struct ShadowBall {
    float x, y, z, radius;
};

struct Mesh {
    GpuBuffer* vb = nullptr;
    GpuBuffer* ib = nullptr;
    int stride = 0, num_verts = 0, num_tris = 0;
    DynArray<VertexElementDesc> vsd; // without the end descriptor
    char shader_lo[256] = "";        // gfx_quality 0
    char shader_hi[256] = "";        // gfx_quality 1
    DynArray<MeshName> textures;
    char path[260] = "";
    DynArray<ShadowBall> shadow_balls;
    int refcount = 1;
};

Mesh* get_mesh(const char* name, bool must_exist);
void free_mesh(Mesh* mesh);
void free_all_meshes();

// Reads one mesh file; throws StreamException (message, file offset or -1) and leaves
// nothing behind on failure.
Mesh* load_mesh(const char* full_path);
