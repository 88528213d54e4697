// Drawing of the common effects: instanced sprites into the two particle targets, the
// trails into the glow target, then the composite onto the scene image.
#include "fx/particles.h"

#include "platform/log.h"
#include "render/buffers.h"
#include "render/device.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "render/vertex_decl.h"
#include "scene/scene_camera.h"
#include "scene/scene_render.h"
#include "script/ramps.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

namespace {
struct InstanceRecord {
    float x, y, z, size, roll;
    D3dColor color;
    float u, v, du, dv;
};
static_assert(sizeof(InstanceRecord) == 40);

struct TrailVertex {
    float x, y, z;
    D3dColor color;
    float u, v;
};
static_assert(sizeof(TrailVertex) == 24);

GpuBuffer* corner_vb = nullptr;
GpuBuffer* corner_ib = nullptr;
VertexDecl* part_decl = nullptr;
VertexDecl* trail_decl = nullptr;
Shader* blend_sh = nullptr;
Shader* glow_sh = nullptr;
Shader* trail_sh = nullptr;
Shader* post_sh = nullptr;
Texture* blend_tex = nullptr;
Texture* glow_tex = nullptr;
// Half-float targets: soft sprites summed in 8 bits would band into rings.
Texture* blend_rt = nullptr;
Texture* glow_rt = nullptr;

inline float fold_offset(float d) {
    float r = d / 256.0f;
    r = (r - truncf(r)) * 256.0f;
    if (r > 128.0f) r -= 256.0f;
    if (r <= -128.0f) r += 256.0f;
    return r;
}

void draw_instances(int count, int) {
    set_vb(1, common_vb_writer.vb, 0, int(sizeof(InstanceRecord)));
    set_instancing(count);
    draw_indexed(PRIM_TRIANGLELIST, 0, 0, 4, 0, 2);
}

void draw_trail_tris(int count, int) {
    set_vb(0, common_vb_writer.vb, 0, int(sizeof(TrailVertex)));
    draw_prim(PRIM_TRIANGLELIST, 0, count);
}

void bind_atlas(int stage, Texture* tex) {
    bind_texture(stage, tex);
    set_texture_address(stage, 1);
    set_texture_filter(stage, true);
}

void draw_pool(const ParticlePool& pool, Shader* sh, Texture* tex, float elapsed, float fraction,
               const vec4f& cam) {
    if (pool.parts.num == 0) return;
    set_shader(sh);
    bind_atlas(0, tex);
    DynVBWriter& w = common_vb_writer;
    const int stride = int(sizeof(InstanceRecord));
    w.begin(draw_instances, 0);
    int next = 0;
    while (next < pool.parts.num) {
        const int room = int((w.size - (w.cur - w.start)) / stride);
        if (room <= 0) {
            w.flush(false);
            continue;
        }
        const int n =
            write_particle_instances(pool, next, &next, w.cur, room, elapsed, fraction, cam);
        w.cur += n * stride;
        w.count += n;
    }
    w.flush(true);
    set_instancing(0);
}

inline vec4f lerp_point(const vec4f& a, const vec4f& b, float f) {
    return make4f(a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f, 1.0f);
}

inline TrailVertex* put(TrailVertex* v, float x, float y, float z, D3dColor c, float u, float tv) {
    *v = TrailVertex{x, y, z, c, u, tv};
    return v + 1;
}
} // namespace

int write_particle_instances(const ParticlePool& pool, int first, int* next, uint8_t* out, int max,
                             float elapsed, float fraction, const vec4f& cam) {
    const float step = fraction > 0.0f ? elapsed / fraction : FX_STEP;
    const Particle* parts = pool.parts.items;
    const int num = pool.parts.num;
    int written = 0, i = first;
    for (; i < num && written < max; ++i) {
        const Particle& p = parts[i];
        if (!(p.life > 0.0f)) continue;
        const float t = (p.age + elapsed) / p.life;
        if (t < 0.0f || t > 1.0f) continue;
        float f = fraction;
        if (p.age < 0.0f) {
            const float d = step + p.age;
            f = d > 0.0f ? (p.age + elapsed) / d : 1.0f;
        }
        InstanceRecord r;
        const float x = p.prev.x + (p.pos.x - p.prev.x) * f;
        const float z = p.prev.z + (p.pos.z - p.prev.z) * f;
        r.x = cam.x + fold_offset(x - cam.x);
        r.y = p.prev.y + (p.pos.y - p.prev.y) * f;
        r.z = cam.z + fold_offset(z - cam.z);
        r.color = p.colorAnim
                      ? pack_color(_mm_mul_ps(p.colorAnim->sample(t), unpack_color(p.color)))
                      : p.color;
        r.size = p.sizeAnim ? p.size * p.sizeAnim->get(t) : p.size;
        r.roll = p.rollAnim ? p.startRoll + p.rollScale * p.rollAnim->get(t) : p.startRoll;
        r.u = p.mapU;
        r.v = p.mapV;
        r.du = p.mapHalf / FX_ATLAS_W;
        r.dv = -(p.mapHalf / FX_ATLAS_H);
        memcpy(out + size_t(written) * sizeof(InstanceRecord), &r, sizeof(r));
        ++written;
    }
    *next = i;
    return written;
}

int write_trail_vertices(const Trail& tr, uint8_t* out, float fraction, const vec4f& cam,
                         const Matrix44& itm) {
    if (tr.count <= 0) return 0;
    TrailVertex* v = reinterpret_cast<TrailVertex*>(out);
    TrailVertex* const begin = v;
    const TrailPoint& h = tr.pts[tr.head];
    vec4f hp = lerp_point(h.prev, h.pos, fraction);
    const float ox = cam.x + fold_offset(hp.x - cam.x) - hp.x;
    const float oz = cam.z + fold_offset(hp.z - cam.z) - hp.z;
    hp.x += ox;
    hp.z += oz;

    // Head sprite facing the camera.
    const float w = tr.width;
    const float rx = itm.m[0][0] * w, ry = itm.m[0][1] * w, rz = itm.m[0][2] * w;
    const float ux = itm.m[1][0] * w, uy = itm.m[1][1] * w, uz = itm.m[1][2] * w;
    const D3dColor hc = h.color;
    const TrailVertex c00{hp.x - rx - ux, hp.y - ry - uy, hp.z - rz - uz, hc, 0.0f, 0.5f};
    const TrailVertex c10{hp.x + rx - ux, hp.y + ry - uy, hp.z + rz - uz, hc, 0.125f, 0.5f};
    const TrailVertex c01{hp.x - rx + ux, hp.y - ry + uy, hp.z - rz + uz, hc, 0.0f, 0.25f};
    const TrailVertex c11{hp.x + rx + ux, hp.y + ry + uy, hp.z + rz + uz, hc, 0.125f, 0.25f};
    *v++ = c00;
    *v++ = c01;
    *v++ = c10;
    *v++ = c10;
    *v++ = c01;
    *v++ = c11;

    // Ribbon from the head to the oldest point.
    vec4f a = hp, as = h.side;
    D3dColor ac = hc;
    float u = fraction * (1.0f / 16.0f);
    for (int k = 1, j = (tr.head + 1) % TRAIL_POINTS; k < tr.count;
         ++k, j = (j + 1) % TRAIL_POINTS) {
        const TrailPoint& pt = tr.pts[j];
        vec4f b = lerp_point(pt.prev, pt.pos, fraction);
        b.x += ox;
        b.z += oz;
        const vec4f& bs = pt.side;
        const float u2 = u + 1.0f / 16.0f;
        v = put(v, a.x + as.x, a.y + as.y, a.z + as.z, ac, u, 0.0f);
        v = put(v, a.x - as.x, a.y - as.y, a.z - as.z, ac, u, 0.25f);
        v = put(v, b.x + bs.x, b.y + bs.y, b.z + bs.z, pt.color, u2, 0.0f);
        v = put(v, a.x - as.x, a.y - as.y, a.z - as.z, ac, u, 0.25f);
        v = put(v, b.x - bs.x, b.y - bs.y, b.z - bs.z, pt.color, u2, 0.25f);
        v = put(v, b.x + bs.x, b.y + bs.y, b.z + bs.z, pt.color, u2, 0.0f);
        a = b;
        as = bs;
        ac = pt.color;
        u = u2;
    }
    return int(v - begin);
}

void init_common_fx() {
    close_common_fx();
    init_std_ramps();
    reset_common_fx();
    blend_tex = get_texture("blendfx.dds", false);
    glow_tex = get_texture("glowfx.dds", false);
    if (!blend_tex) debug("can't load blendfx.dds");
    if (!glow_tex) debug("can't load glowfx.dds");
    trail_sh = get_shader("effect.sh");
    blend_sh = get_shader("blendPart.sh");
    glow_sh = get_shader("glowPart.sh");
    post_sh = get_shader("postBlend.sh");

    blend_rt = create_render_texture(0, 0, 5);
    glow_rt = create_render_texture(0, 0, 5);
    if (!blend_rt || !glow_rt) fatal("can't create particle render targets");

    corner_vb = create_vb(4 * 4, BUF_STATIC);
    corner_ib = create_ib(6, BUF_STATIC);
    if (!corner_vb || !corner_ib) fatal("can't create particle VB");
    int16_t* vp = static_cast<int16_t*>(lock_vb(corner_vb, 0, 0));
    ASSERT_TEXT(vp, "vp");
    const int16_t corners[8] = {-1, -1, 1, -1, -1, 1, 1, 1};
    memcpy(vp, corners, sizeof(corners));
    unlock_vb(corner_vb);
    uint16_t* ip = static_cast<uint16_t*>(lock_ib(corner_ib, 0, 0));
    ASSERT_TEXT(ip, "ip");
    const uint16_t idx[6] = {0, 2, 1, 1, 2, 3};
    memcpy(ip, idx, sizeof(idx));
    unlock_ib(corner_ib);

    static const VertexElementDesc part_desc[] = {
        {0, 0, VSD_SHORT2, VSD_POSITION, 0},  {0, 1, VSD_FLOAT3, VSD_POSITION, 1},
        {12, 1, VSD_FLOAT2, VSD_TEXCOORD, 0}, {20, 1, VSD_COLOR32, VSD_COLOR, 0},
        {24, 1, VSD_FLOAT4, VSD_TEXCOORD, 1}, VSD_END};
    static const VertexElementDesc trail_desc[] = {{0, 0, VSD_FLOAT3, VSD_POSITION, 0},
                                                   {12, 0, VSD_COLOR32, VSD_COLOR, 0},
                                                   {16, 0, VSD_FLOAT2, VSD_TEXCOORD, 0},
                                                   VSD_END};
    part_decl = get_vertex_decl(part_desc);
    trail_decl = get_vertex_decl(trail_desc);
}

void close_common_fx() {
    if (corner_vb) release_vb(corner_vb);
    if (corner_ib) release_ib(corner_ib);
    corner_vb = corner_ib = nullptr;
    for (Shader** s : {&blend_sh, &glow_sh, &trail_sh, &post_sh}) {
        if (*s) release_shader(*s);
        *s = nullptr;
    }
    for (Texture** t : {&blend_tex, &glow_tex}) {
        if (*t) free_texture(*t);
        *t = nullptr;
    }
    for (Texture** t : {&blend_rt, &glow_rt}) {
        release_texture(*t);
        *t = nullptr;
    }
    part_decl = trail_decl = nullptr;
}

void render_common_fx(float elapsed, float fraction) {
    if (!corner_vb || !scene_tex || !fx_anything_alive) return;
    const Matrix44& itm = scene_view_itm;
    const vec4f cam = scene_camera_pos();

    set_render_target(blend_rt, 0, true);
    set_render_target(glow_rt, 1, false);
    clear_view_color(0);
    set_vs_consts(16, &itm.m[0][0], 3);
    set_blend_additive();
    set_cull_mode(0);
    set_zwrite(false);

    set_vertex_decl(part_decl);
    set_vb(0, corner_vb, 0, 4);
    set_ib(corner_ib);
    draw_pool(blend_particles, blend_sh, blend_tex, elapsed, fraction, cam);
    bind_atlas(0, glow_tex); // the trails read the glow atlas even without glow particles
    draw_pool(glow_particles, glow_sh, glow_tex, elapsed, fraction, cam);
    set_vb(1, nullptr, 0, 0);

    set_vertex_decl(trail_decl);
    set_shader(trail_sh);
    DynVBWriter& w = common_vb_writer;
    const int max_bytes = TRAIL_MAX_VERTS * int(sizeof(TrailVertex));
    bool open = false;
    for (int i = 0; i < fx_trails_used; ++i) {
        const Trail& tr = fx_trails[i];
        if (!tr.isAlive()) continue;
        if (!open) {
            w.begin(draw_trail_tris, 0);
            open = true;
        }
        if (!w.fits(max_bytes)) w.flush(false);
        const int n = write_trail_vertices(tr, w.cur, fraction, cam, itm);
        w.cur += n * int(sizeof(TrailVertex));
        w.count += n / 3;
    }
    if (open) w.flush(true);
    set_vb(0, nullptr, 0, 0);

    // Composite: the blend target carries premultiplied colour, the glow target adds.
    set_blend_none();
    set_cull_mode(1);
    set_zwrite(true);
    set_render_target(scene_tex, 0, true);
    set_render_target(nullptr, 1, false);
    for (int s = 0; s < 2; ++s) {
        bind_texture(s, s == 0 ? blend_rt : glow_rt);
        set_texture_address(s, 1);
        set_texture_filter(s, false);
    }
    const float c16[4] = {0.5f, -0.5f, 0.5f / float(d3d_wd) + 0.5f, 0.5f / float(d3d_ht) + 0.5f};
    set_vs_consts(16, c16, 1);
    set_zenable(false);
    set_blend_prealpha();
    set_wireframe(false);
    set_shader(post_sh);
    draw_postfx();
    bind_texture(0, nullptr);
    bind_texture(1, nullptr);
    set_blend_none();
    set_zenable(true);
}
