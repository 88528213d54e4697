#include "render/overlay/render_batch.h"

#include "platform/log.h"
#include "render/buffers.h"
#include "render/device.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "render/vertex_decl.h"

#include <cstdlib>
#include <cstring>

// [SECTION] states

void BaseRenderBatchState::reset() {
    shader = nullptr;
    vdecl = nullptr;
    texture = nullptr;
}

void BaseRenderBatchState::apply(BaseRenderBatchState* prev) {
    if (!prev || prev->shader != shader) set_shader(shader);
    if (!prev || prev->vdecl != vdecl) set_vertex_decl(vdecl);
    if (!prev || prev->texture != texture) bind_texture(0, texture);
}

void BaseRenderBatchState::finish() {
    common_vb_writer.flush(true);
}

void StdRenderBatchState::apply(BaseRenderBatchState* prev) {
    BaseRenderBatchState::apply(prev);
    set_vb(0, common_vb_writer.vb, 0, stride);
    common_vb_writer.begin(draw_tri_list, 0);
}

void FontBatchState::apply(BaseRenderBatchState* prev) {
    StdRenderBatchState::apply(prev);
    set_texture_filter(0, false);
    float wd = float(d3d_wd), ht = float(d3d_ht);
    float tw = texture ? float(texture_width(texture)) : 1.0f;
    float th = texture ? float(texture_height(texture)) : 1.0f;
    const float c[8] = {
        2.0f / wd, 2.0f / ht, -1.0f - 0.5f / wd, 0.5f / ht - 1.0f, 1.0f / tw, 1.0f / th,
        0.0f,      0.0f};
    set_vs_consts(16, c, 2);
    set_cull_mode(0);
    set_zenable(false);
    set_zwrite(false);
    set_blend_alpha();
    set_atest(1);
}

void FontBatchState::finish() {
    StdRenderBatchState::finish();
    set_cull_mode(1);
    set_zenable(true);
    set_zwrite(true);
    set_blend_none();
    set_atest(0);
    set_texture_filter(0, true);
}

// [SECTION] arena

AccumAlloc::AccumAlloc(int page_size) : pageSize(page_size) {
    uint8_t* p = static_cast<uint8_t*>(malloc(sizeof(Page) + size_t(pageSize)));
    ASSERT_TEXT(p, "p");
    pages = reinterpret_cast<Page*>(p);
    pages->next = nullptr;
    pages->fill = p + sizeof(Page);
    pages->end = pages->fill + pageSize;
}

AccumAlloc::~AccumAlloc() {
    while (pages) {
        Page* next = pages->next;
        free(pages);
        pages = next;
    }
}

static uint8_t* align_up(uint8_t* p, int align) {
    uintptr_t a = uintptr_t(align);
    return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + a - 1) & ~(a - 1));
}

void* AccumAlloc::alloc(int size, int align) {
    for (Page* pg = pages; pg; pg = pg->next) {
        uint8_t* at = align_up(pg->fill, align);
        if (at <= pg->end && pg->end - at >= size) {
            pg->fill = at + size;
            return at;
        }
    }
    int bytes = pageSize > size + align + 11 ? pageSize : size + align + 11;
    uint8_t* p = static_cast<uint8_t*>(malloc(sizeof(Page) + size_t(bytes)));
    ASSERT_TEXT(p, "p");
    Page* pg = reinterpret_cast<Page*>(p);
    pg->next = pages;
    pg->fill = p + sizeof(Page);
    pg->end = pg->fill + bytes;
    pages = pg;
    uint8_t* at = align_up(pg->fill, align);
    ASSERT_TEXT(pg->end - at >= size, "ptr");
    pg->fill = at + size;
    return at;
}

void AccumAlloc::rewind() {
    for (Page* pg = pages; pg; pg = pg->next) pg->fill = reinterpret_cast<uint8_t*>(pg + 1);
}

int AccumAlloc::pageCount() const {
    int n = 0;
    for (Page* pg = pages; pg; pg = pg->next) ++n;
    return n;
}

// [SECTION] batch

RenderBatch::RenderBatch(int page_size) : arena(page_size) {}

static bool overlaps(const vec4f& n, const vec4f& r) {
    return n.x <= r.z && n.y <= r.w && n.z > r.x && n.w > r.y;
}

void* RenderBatch::add(BaseRenderBatchState* state, const vec4f& rect, int bytes, int prim_count) {
    ASSERT(bytes >= 0);
    Piece* ne = static_cast<Piece*>(arena.alloc(bytes + int(sizeof(Piece)), 16));
    ASSERT_TEXT(ne, "ne");
    ne->rect = rect;
    ne->size = bytes;
    ne->primCount = prim_count;
    ne->next = nullptr;

    for (int i = groups.num - 1; i >= 0; --i) {
        Group& g = groups[i];
        if (g.state == state) {
            g.rect.x = rect.x < g.rect.x ? rect.x : g.rect.x;
            g.rect.y = rect.y < g.rect.y ? rect.y : g.rect.y;
            g.rect.z = rect.z > g.rect.z ? rect.z : g.rect.z;
            g.rect.w = rect.w > g.rect.w ? rect.w : g.rect.w;
            g.last->next = ne;
            g.last = ne;
            return ne->data();
        }
        if (!overlaps(rect, g.rect)) continue;
        bool hit = false;
        for (Piece* p = g.first; p && !hit; p = p->next) hit = overlaps(rect, p->rect);
        if (hit) break;
    }
    groups.push_back(Group{rect, state, ne, ne});
    return ne->data();
}

void RenderBatch::render() {
    DynVBWriter& w = common_vb_writer;
    BaseRenderBatchState* prev = nullptr;
    for (const Group& g : groups) {
        g.state->apply(prev);
        for (Piece* p = g.first; p; p = p->next) {
            if (!w.fits(p->size)) {
                w.flush(false);
                if (!w.fits(p->size)) fatal("batch vertex buffer is not large enough");
            }
            memcpy(w.cur, p->data(), size_t(p->size));
            w.cur += p->size;
            w.count += p->primCount;
        }
        g.state->finish();
        prev = g.state;
    }
}

void RenderBatch::clear() {
    groups.num = 0;
    arena.rewind();
}
