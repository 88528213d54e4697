#include "scene/objects/inst_render.h"

#include "platform/log.h"
#include "render/buffers.h"
#include "render/device.h"
#include "render/mesh.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "scene/heightmap_renderer.h"
#include "scene/pipeline/shadows.h"

#include <cstdlib>
#include <cstring>

InstRenderStats inst_render_stats;

namespace {
enum { CHUNK_BYTES = 16384 };

const InstRender* drawing = nullptr; // the renderer whose instances the writer holds

void draw_instances(int count, int stride) {
    const Mesh* m = drawing->mesh;
    set_vb(1, common_vb_writer.vb, 0, stride);
    set_instancing(count);
    draw_indexed(PRIM_TRIANGLELIST, 0, 0, m->num_verts, 0, m->num_tris);
    InstRenderStats& s = inst_render_stats;
    if (s.draws < 16) s.last_counts[s.draws] = count;
    ++s.draws;
    s.instances += count;
}

uint8_t to_byte(float v) {
    float f = v * 127.0f + 128.0f;
    return uint8_t(f < 0.0f ? 0.0f : f > 255.0f ? 255.0f : f + 0.5f);
}
} // namespace

struct InstRender::Chunk {
    Chunk* next;
    int size, used;
    alignas(16) uint8_t data[1];
};

InstRender::~InstRender() {
    while (chunks) {
        Chunk* n = chunks->next;
        free(chunks);
        chunks = n;
    }
}

void* InstRender::carve(int bytes) {
    auto fits = [bytes](const Chunk* c) { return ((c->used + 15) & ~15) + bytes <= c->size; };
    if (!cur_chunk) cur_chunk = chunks;
    while (cur_chunk && !fits(cur_chunk) && cur_chunk->next) cur_chunk = cur_chunk->next;
    if (!cur_chunk || !fits(cur_chunk)) {
        const int size = bytes > CHUNK_BYTES ? bytes : CHUNK_BYTES;
        Chunk* c = static_cast<Chunk*>(malloc(sizeof(Chunk) + size_t(size)));
        if (!c) fatal("out of memory for %d instance bytes", bytes);
        c->next = nullptr;
        c->size = size;
        c->used = 0;
        if (cur_chunk)
            cur_chunk->next = c;
        else
            chunks = c;
        cur_chunk = c;
    }
    cur_chunk->used = (cur_chunk->used + 15) & ~15;
    void* p = cur_chunk->data + cur_chunk->used;
    cur_chunk->used += bytes;
    return p;
}

void* InstRender::addInstances(int count) {
    ASSERT(count > 0);
    const int bytes = count * instanceStride();
    // Grow the last block in place while its chunk has room right behind it.
    if (tail && cur_chunk && tail->records + tail->bytes == cur_chunk->data + cur_chunk->used &&
        cur_chunk->used + bytes <= cur_chunk->size) {
        uint8_t* p = tail->records + tail->bytes;
        tail->bytes += bytes;
        cur_chunk->used += bytes;
        return p;
    }
    InstBlock* b = static_cast<InstBlock*>(carve(int(sizeof(InstBlock))));
    b->records = static_cast<uint8_t*>(carve(bytes));
    b->bytes = bytes;
    b->next = nullptr;
    if (tail)
        tail->next = b;
    else
        head = b;
    tail = b;
    return b->records;
}

void InstRender::appendBlock(const void* records, int bytes) {
    const int stride = instanceStride();
    const int n = bytes / stride;
    if (n <= 0) return;
    memcpy(addInstances(n), records, size_t(n) * size_t(stride));
}

void InstRender::clearInstances() {
    head = tail = nullptr;
    for (Chunk* c = chunks; c; c = c->next) c->used = 0;
    cur_chunk = chunks;
}

int InstRender::instanceCount() const {
    int bytes = 0;
    for (const InstBlock* b = head; b; b = b->next) bytes += b->bytes;
    return bytes / instanceStride();
}

void InstRender::init(const char* mesh_name) {
    close();
    mesh = get_mesh(mesh_name, true);
    int inum = 0;
    const VertexElementDesc* inst = instanceLayout(inum);
    ASSERT_TEXT(mesh->vsd.num + inum < MAX_VDECL_LEN, "mesh->vsd.size()+inum<MAX_VDECL_LEN");
    VertexElementDesc descs[MAX_VDECL_LEN];
    int n = 0;
    for (const VertexElementDesc& d : mesh->vsd) descs[n++] = d;
    for (int i = 0; i < inum; ++i) descs[n++] = inst[i];
    descs[n] = VSD_END;
    vdecl = get_vertex_decl(descs);
    shader = get_shader(HeightmapRenderer::high_quality ? mesh->shader_hi : mesh->shader_lo);
    if (mesh->textures.num > 0) texture = get_texture(mesh->textures[0].name, true);
}

void InstRender::close() {
    clearInstances();
    if (texture) free_texture(texture);
    if (shader) release_shader(shader);
    if (mesh) free_mesh(mesh);
    texture = nullptr;
    shader = nullptr;
    mesh = nullptr;
    vdecl = nullptr;
}

void InstRender::render() {
    if (!head) return;
    if (!mesh || !shader) { // not initialised: nothing to draw with
        clearInstances();
        return;
    }
    set_vertex_decl(vdecl);
    set_ib(mesh->ib);
    set_shader(shader);
    if (texture) bind_texture(0, texture);
    set_vb(0, mesh->vb, 0, mesh->stride);
    if (two_sided) set_cull_mode(0);

    const int stride = instanceStride();
    DynVBWriter& w = common_vb_writer;
    drawing = this;
    w.begin(draw_instances, stride);
    for (const InstBlock* b = head; b; b = b->next) {
        const uint8_t* src = b->records;
        int left = b->bytes / stride;
        while (left > 0) {
            int room = int(w.size - (w.cur - w.start)) / stride;
            if (room == 0) {
                w.flush(false);
                continue;
            }
            const int n = left < room ? left : room;
            memcpy(w.cur, src, size_t(n) * size_t(stride));
            w.cur += n * stride;
            w.count += n;
            src += n * stride;
            left -= n;
        }
    }
    w.flush(true);
    drawing = nullptr;
    set_instancing(0);
    set_vb(1, nullptr, 0, 0);
    if (two_sided) set_cull_mode(1);
    clearInstances();
}

void InstRender::renderShadowBalls(const Matrix44& tm, float scale) const {
    if (!mesh) return;
    for (const ShadowBall& b : mesh->shadow_balls) {
        vec4f c;
        c.x = b.x * tm.m[0][0] + b.y * tm.m[1][0] + b.z * tm.m[2][0] + tm.m[3][0];
        c.y = b.x * tm.m[0][1] + b.y * tm.m[1][1] + b.z * tm.m[2][1] + tm.m[3][1];
        c.z = b.x * tm.m[0][2] + b.y * tm.m[1][2] + b.z * tm.m[2][2] + tm.m[3][2];
        c.w = 1.0f;
        render_shadow_ball(c, b.radius * scale);
    }
}

uint32_t pack_inst_row(float x, float y, float z, float scale) {
    float a = scale / 8.0f * 255.0f + 0.5f;
    uint32_t sa = uint32_t(a < 0.0f ? 0.0f : a > 255.0f ? 255.0f : a);
    auto c = [](float v) { return uint32_t(to_byte(v)); };
    return sa << 24 | c(x) << 16 | c(y) << 8 | c(z);
}

// [SECTION] layouts

const VertexElementDesc* SimpleInstRender::instanceLayout(int& count) const {
    static const VertexElementDesc d[] = {
        {0, 1, VSD_COLOR32, VSD_POSITION, 11}, {4, 1, VSD_COLOR32, VSD_POSITION, 12},
        {8, 1, VSD_COLOR32, VSD_POSITION, 13}, {12, 1, VSD_FLOAT3, VSD_POSITION, 10},
        {24, 1, VSD_COLOR32, VSD_COLOR, 10},
    };
    count = 5;
    return d;
}

const VertexElementDesc* MorphInstRender::instanceLayout(int& count) const {
    static const VertexElementDesc d[] = {
        {0, 1, VSD_COLOR32, VSD_POSITION, 11}, {4, 1, VSD_COLOR32, VSD_POSITION, 12},
        {8, 1, VSD_COLOR32, VSD_POSITION, 13}, {12, 1, VSD_FLOAT3, VSD_POSITION, 10},
        {24, 1, VSD_COLOR32, VSD_COLOR, 10},   {28, 1, VSD_COLOR32, VSD_POSITION, 15},
    };
    count = 6;
    return d;
}

const VertexElementDesc* SplineInstRender::instanceLayout(int& count) const {
    static const VertexElementDesc d[] = {
        {0, 1, VSD_FLOAT3, VSD_POSITION, 10},  {12, 1, VSD_FLOAT3, VSD_POSITION, 11},
        {24, 1, VSD_FLOAT3, VSD_POSITION, 12}, {36, 1, VSD_FLOAT3, VSD_POSITION, 13},
        {48, 1, VSD_COLOR32, VSD_NORMAL, 10},  {52, 1, VSD_COLOR32, VSD_NORMAL, 11},
        {56, 1, VSD_COLOR32, VSD_COLOR, 10},   {60, 1, VSD_COLOR32, VSD_COLOR, 11},
    };
    count = 8;
    return d;
}

const VertexElementDesc* BuildingInstRender::instanceLayout(int& count) const {
    static const VertexElementDesc d[] = {
        {0, 1, VSD_SHORT2, VSD_POSITION, 10},
        {4, 1, VSD_FLOAT4, VSD_POSITION, 11},
        {20, 1, VSD_COLOR32, VSD_POSITION, 12},
    };
    count = 3;
    return d;
}

// [SECTION] exported renderers

SimpleInstRender stone1_inst, gatherer_eye_inst, wyvern_head_inst, wyvern_tail_inst;
MorphInstRender bird_body_inst, gatherer_body_inst;
SplineInstRender wyvern_body_inst;
BuildingInstRender roof_corner_inst, tower_corner_inst, tower_wall1_inst, tower_wall2_inst,
    castle_walk_inst, castle_wall1_inst, castle_wall2_inst, castle_wall3_inst, castle_wall4_inst,
    castle_corner1_inst, castle_corner2_inst, castle_slant1_inst, castle_slant2_inst,
    castle_slant3_inst, castle_slant4_inst, merlon_corner_inst, merlon_top_inst, merlon_wall1_inst,
    merlon_wall2_inst;

void init_inst_render_internals() {}

void close_inst_renderers() {
    InstRender* const all[] = {&stone1_inst,      &gatherer_eye_inst, &wyvern_head_inst,
                               &wyvern_tail_inst, &bird_body_inst,    &gatherer_body_inst,
                               &wyvern_body_inst};
    for (InstRender* r : all) r->close();
    for (HeightmapRenderer::HouseTileInfo& t : HeightmapRenderer::house_tile_info) t.inst->close();
}

// The house tiles by template letter, 'a' to 's'.
HeightmapRenderer::HouseTileInfo HeightmapRenderer::house_tile_info[19] = {
    {&roof_corner_inst},   {&tower_corner_inst},   {&tower_wall1_inst},    {&tower_wall2_inst},
    {&castle_walk_inst},   {&merlon_top_inst},     {&merlon_corner_inst},  {&merlon_wall1_inst},
    {&merlon_wall2_inst},  {&castle_wall1_inst},   {&castle_wall2_inst},   {&castle_wall3_inst},
    {&castle_wall4_inst},  {&castle_slant1_inst},  {&castle_slant2_inst},  {&castle_slant3_inst},
    {&castle_slant4_inst}, {&castle_corner1_inst}, {&castle_corner2_inst},
};
