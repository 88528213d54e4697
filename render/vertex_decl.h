// Vertex declarations from 6-byte element descriptors, matched at draw time to the
// current shader's inputs by usage and usage index.
#pragma once

#include <cstdint>

enum { MAX_VDECL_LEN = 32, MAX_VERTEX_DECLS = 64, MAX_STREAMS = 16 };

// Usage codes of a descriptor.
enum { VSD_POSITION = 0, VSD_NORMAL = 1, VSD_COLOR = 2, VSD_TEXCOORD = 3, VSD_TANGENT = 4 };
// Type codes of a descriptor.
enum {
    VSD_FLOAT1 = 1,
    VSD_FLOAT2 = 2,
    VSD_FLOAT3 = 3,
    VSD_FLOAT4 = 4,
    VSD_COLOR32 = 5,
    VSD_SHORT2 = 6,
    VSD_SHORT4 = 7,
};

#pragma pack(push, 1)
struct VertexElementDesc {
    uint16_t offset;
    uint8_t stream; // 255 ends a list
    uint8_t type;
    uint8_t usage;
    uint8_t usage_index;
};
#pragma pack(pop)
static_assert(sizeof(VertexElementDesc) == 6);

#define VSD_END                                                                                    \
    { 0, 255, 0, 0, 0 }

// Direct3D declaration element (8 bytes), what the cache compares.
struct VertexDeclElement {
    uint16_t stream, offset;
    uint8_t type, method, usage, usage_index;
    bool operator==(const VertexDeclElement&) const = default;
};

struct VertexDecl {
    VertexDeclElement elems[MAX_VDECL_LEN]; // including the end element
    int count;                              // including the end element
    uint32_t stream_mask;
    int index; // cache slot
};

VertexDecl* get_vertex_decl(const VertexElementDesc* descs);
void set_vertex_decl(VertexDecl* decl);
void release_vertex_decls();
int vertex_decl_count();
