#include "render/overlay/debug_vis.h"

#include "render/buffers.h"
#include "render/device.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/shaders.h"
#include "render/vertex_decl.h"

namespace {
VertexDecl* vis_decl = nullptr;
Shader* vis_shader = nullptr;
int vis_prim = PRIM_TRIANGLELIST; // primitive type of the open run

const VertexElementDesc VIS_VSD[] = {
    {0, 0, VSD_FLOAT3, VSD_POSITION, 0}, {12, 0, VSD_COLOR32, VSD_COLOR, 0}, VSD_END};

void draw_lines(int count, int) {
    draw_prim(PRIM_LINELIST, 0, count);
}

void begin_run(int prim) {
    vis_prim = prim;
    common_vb_writer.begin(prim == PRIM_LINELIST ? draw_lines : draw_tri_list, 0);
}

// Room for `verts` vertices of primitive type `prim`, switching the run's type if needed.
DebugVisVertex* reserve(int prim, int verts) {
    DynVBWriter& w = common_vb_writer;
    if (prim != vis_prim) {
        w.flush(true);
        begin_run(prim);
    }
    const int bytes = verts * int(sizeof(DebugVisVertex));
    if (!w.fits(bytes)) w.flush(false);
    DebugVisVertex* v = reinterpret_cast<DebugVisVertex*>(w.cur);
    w.cur += bytes;
    w.count += 1;
    return v;
}

inline DebugVisVertex vert(const vec4f& p, D3dColor c) {
    return DebugVisVertex{p.x, p.y, p.z, c};
}
} // namespace

void init_debug_vis() {
    vis_decl = get_vertex_decl(VIS_VSD);
    vis_shader = get_shader("debug_vis.sh");
}

void close_debug_vis() {
    if (is_d3d_open()) release_shader(vis_shader); // else close_d3d released it
    vis_shader = nullptr;
    vis_decl = nullptr;
}

void start_draw_debug_vis() {
    Matrix44 tm;
    get_glob_tm(tm);
    set_vs_consts(0, &tm.m[0][0], 4);
    set_vertex_decl(vis_decl);
    set_vb(0, common_vb_writer.vb, 0, int(sizeof(DebugVisVertex)));
    set_shader(vis_shader);
    set_cull_mode(0);
    begin_run(PRIM_TRIANGLELIST);
}

void end_draw_debug_vis() {
    common_vb_writer.flush(true);
    set_cull_mode(1);
}

void draw_debug_vis_tri(const vec4f& a, const vec4f& b, const vec4f& c, D3dColor ca, D3dColor cb,
                        D3dColor cc) {
    DebugVisVertex* v = reserve(PRIM_TRIANGLELIST, 3);
    v[0] = vert(a, ca);
    v[1] = vert(b, cb);
    v[2] = vert(c, cc);
}

void draw_debug_vis_line(const vec4f& a, const vec4f& b, D3dColor ca, D3dColor cb) {
    DebugVisVertex* v = reserve(PRIM_LINELIST, 2);
    v[0] = vert(a, ca);
    v[1] = vert(b, cb);
}

void draw_debug_vis_solid_box(const vec4f& a, const vec4f& b, D3dColor color, float expand) {
    const float x0 = (a.x < b.x ? a.x : b.x) - expand, x1 = (a.x < b.x ? b.x : a.x) + expand;
    const float y0 = (a.y < b.y ? a.y : b.y) - expand, y1 = (a.y < b.y ? b.y : a.y) + expand;
    const float z0 = (a.z < b.z ? a.z : b.z) - expand, z1 = (a.z < b.z ? b.z : a.z) + expand;
    vec4f c[8];
    for (int i = 0; i < 8; ++i) c[i] = make4f(i & 1 ? x1 : x0, i & 2 ? y1 : y0, i & 4 ? z1 : z0, 1);
    // Each face as two triangles (corner indices by bit: x = 1, y = 2, z = 4).
    static const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                    {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& f : faces) {
        draw_debug_vis_tri(c[f[0]], c[f[1]], c[f[2]], color, color, color);
        draw_debug_vis_tri(c[f[0]], c[f[2]], c[f[3]], color, color, color);
    }
}

void draw_debug_vis_cube(const vec4f& centre, float half_size, D3dColor color) {
    draw_debug_vis_solid_box(centre, centre, color, half_size);
}

void draw_debug_vis_wire_box(const vec4f& a, const vec4f& b, D3dColor color) {
    vec4f c[8];
    for (int i = 0; i < 8; ++i)
        c[i] = make4f(i & 1 ? b.x : a.x, i & 2 ? b.y : a.y, i & 4 ? b.z : a.z, 1);
    for (int i = 0; i < 8; ++i)
        for (int bit = 1; bit < 8; bit <<= 1)
            if (!(i & bit)) draw_debug_vis_line(c[i], c[i | bit], color, color);
}

void draw_debug_vis_cross_point(const vec4f& p, float size, D3dColor color) {
    draw_debug_vis_line(make4f(p.x - size, p.y, p.z, 1), make4f(p.x + size, p.y, p.z, 1), color,
                        color);
    draw_debug_vis_line(make4f(p.x, p.y - size, p.z, 1), make4f(p.x, p.y + size, p.z, 1), color,
                        color);
    draw_debug_vis_line(make4f(p.x, p.y, p.z - size, 1), make4f(p.x, p.y, p.z + size, 1), color,
                        color);
}
