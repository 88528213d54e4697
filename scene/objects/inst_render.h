// Instanced object rendering: one mesh drawn many times from per-instance records that
// the game-object module appends every frame. The four kinds differ only in their
// per-instance layout on stream 1.
#pragma once

#include "core/vec4f.h"
#include "platform/game_export.h"
#include "render/d3d_types.h"
#include "render/vertex_decl.h"

#include <cstdint>

struct Mesh;
struct Shader;
struct Texture;

// A run of instance records. Blocks live in their renderer's arena, which is rewound
// (not freed) after each render, so a steady frame allocates nothing.
struct InstBlock {
    uint8_t* records;
    int bytes;
    InstBlock* next;
};

class GAME_EXPORT InstRender {
  public:
    InstBlock* head = nullptr; // empty list when null
    Mesh* mesh = nullptr;
    Shader* shader = nullptr;
    VertexDecl* vdecl = nullptr;
    Texture* texture = nullptr;

    InstRender() = default;
    InstRender(const InstRender&) = delete;
    InstRender& operator=(const InstRender&) = delete;
    virtual ~InstRender();

    virtual const VertexElementDesc* instanceLayout(int& count) const = 0;
    virtual int instanceStride() const = 0;

    // Loads the mesh, its shader for the current quality and its first texture.
    void init(const char* mesh_name);
    void close(); // releases what init took; the renderer can be initialised again
    void render();
    void renderShadowBalls(const Matrix44& tm, float scale) const;

    // Room for `count` records, contiguous with the previous call's when it fits.
    void* addInstances(int count);
    void addInstance(const void* record) {
        const int stride = instanceStride();
        uint8_t* p = static_cast<uint8_t*>(addInstances(1));
        for (int i = 0; i < stride; ++i) p[i] = static_cast<const uint8_t*>(record)[i];
    }
    void appendBlock(const void* records, int bytes); // copies whole records
    void clearInstances();                            // the list is empty afterwards
    int instanceCount() const;

  protected:
    bool two_sided = false; // drawn without culling (mirrored instances)

  private:
    struct Chunk;
    Chunk* chunks = nullptr; // kept for the next frame
    Chunk* cur_chunk = nullptr;
    InstBlock* tail = nullptr;
    void* carve(int bytes);
};

// Rows of a rotation (and per-axis scale in alpha, 0..8) packed as colours, then the
// position and a tint.
class GAME_EXPORT SimpleInstRender : public InstRender {
  public:
    const VertexElementDesc* instanceLayout(int& count) const override;
    int instanceStride() const override { return 28; }
};

// As simple, plus the morph: weight (red) + amplitude (blue) x sin(2 pi phase (green)),
// so a wing beat needs only the phase advanced each frame.
class GAME_EXPORT MorphInstRender : public InstRender {
  public:
    const VertexElementDesc* instanceLayout(int& count) const override;
    int instanceStride() const override { return 32; }
};

// Four spline points, an up vector at each end (normals) and two colours (tint, and
// radius at each end).
class GAME_EXPORT SplineInstRender : public InstRender {
  public:
    const VertexElementDesc* instanceLayout(int& count) const override;
    int instanceStride() const override { return 64; }
};

// A house tile on its cell: the cell, its four corner heights in the tile's own frame,
// and the tile's orientation as a packed 2 x 2 matrix.
class GAME_EXPORT BuildingInstRender : public InstRender {
  public:
    BuildingInstRender() { two_sided = true; }
    const VertexElementDesc* instanceLayout(int& count) const override;
    int instanceStride() const override { return 24; }
};

struct SimpleInstance {
    uint32_t row[3]; // rotation rows: xyz = v x 0.5 + 0.5, alpha = scale / 8
    float pos[3];
    uint32_t color;
};
struct MorphInstance {
    SimpleInstance base;
    uint32_t morph; // red: weight; green: beat phase; blue: beat amplitude
};
struct SplineInstance {
    float p[4][3];
    uint32_t up[2];    // up vectors at the ends, v x 0.5 + 0.5
    uint32_t color[2]; // tint; radius at the start (red) and end (green) / 8
};
struct BuildingInstance {
    int16_t x, z;
    float h[4];   // corner heights in the tile frame: (-,-), (+,-), (-,+), (+,+)
    uint32_t rot; // 2 x 2 matrix, one byte per entry: v x 127 + 128
};
static_assert(sizeof(SimpleInstance) == 28 && sizeof(MorphInstance) == 32 &&
              sizeof(SplineInstance) == 64 && sizeof(BuildingInstance) == 24);

GAME_EXPORT uint32_t pack_inst_row(float x, float y, float z, float scale);

// The renderers the game exports to its module.
extern GAME_EXPORT SimpleInstRender stone1_inst, gatherer_eye_inst, wyvern_head_inst,
    wyvern_tail_inst;
extern GAME_EXPORT MorphInstRender bird_body_inst, gatherer_body_inst;
extern GAME_EXPORT SplineInstRender wyvern_body_inst;
extern GAME_EXPORT BuildingInstRender roof_corner_inst, tower_corner_inst, tower_wall1_inst,
    tower_wall2_inst, castle_walk_inst, castle_wall1_inst, castle_wall2_inst, castle_wall3_inst,
    castle_wall4_inst, castle_corner1_inst, castle_corner2_inst, castle_slant1_inst,
    castle_slant2_inst, castle_slant3_inst, castle_slant4_inst, merlon_corner_inst, merlon_top_inst,
    merlon_wall1_inst, merlon_wall2_inst;

// Nothing to do: the module calls it as part of its set-up.
GAME_EXPORT void init_inst_render_internals();
// Releases the meshes, shaders and textures of all 26 renderers (shutdown).
void close_inst_renderers();

// Draw statistics of the instanced draws since the last reset (tests, benchmarks).
struct InstRenderStats {
    int draws = 0;
    int instances = 0;
    int last_counts[16] = {}; // instance counts of the first 16 draws
};
extern InstRenderStats inst_render_stats;
