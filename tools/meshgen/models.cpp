// The game's meshes. House tiles are modelled in their own frame: the cell spans -0.5..0.5
// in x and z, the outside lies towards -z (and -x for corners), and each vertex's height is
// the cell's corner heights sampled at `sample` plus its own y, so neighbouring tiles
// share their edges whatever the plot's heights.
#include "tools/meshgen/mesh_writer.h"

#include <cmath>
#include <functional>

namespace {
constexpr uint32_t STONE = 0xFFB9B1A2u; // alpha set: masonry
constexpr uint32_t WALK = 0xFF8E877Bu;  // paving
constexpr uint32_t ROOF = 0xFF9C4B33u;  // fired tiles
constexpr uint32_t SLIT = 0x00201A16u;  // window openings
constexpr float FOOT = -0.6f;           // walls reach below the ground on slopes

struct P {
    float x, y, z; // y: offset above the sampled height
    float su, sv;  // where the heights are sampled
};

float len3(const float* v) {
    return sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

MeshVertex vert(float x, float y, float z, const float* n, uint32_t color) {
    MeshVertex v = {};
    v.pos[0] = x;
    v.pos[1] = y;
    v.pos[2] = z;
    float l = len3(n);
    for (int i = 0; i < 3; ++i) v.normal[i] = n[i] / (l > 0 ? l : 1);
    v.color = color;
    return v;
}

// A quad a, b, c, d (a loop) facing n; winding is fixed to clockwise seen from n.
void quad(MeshModel& m, const P& a, const P& b, const P& c, const P& d, float nx, float ny,
          float nz, uint32_t color) {
    const float n[3] = {nx, ny, nz};
    int id[4];
    const P* ps[4] = {&a, &b, &c, &d};
    for (int i = 0; i < 4; ++i) {
        MeshVertex v = vert(ps[i]->x, ps[i]->y, ps[i]->z, n, color);
        v.sample[0] = ps[i]->su;
        v.sample[1] = ps[i]->sv;
        v.uv[0] = ps[i]->x + 0.5f;
        v.uv[1] = ps[i]->z + 0.5f;
        id[i] = m.addVertex(v);
    }
    // (b - a) x (c - a) points to the front for clockwise faces in a left-handed frame.
    float e1[3] = {b.x - a.x, b.y - a.y, b.z - a.z}, e2[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
    float cr[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                   e1[0] * e2[1] - e1[1] * e2[0]};
    bool flip = cr[0] * nx + cr[1] * ny + cr[2] * nz < 0;
    if (flip) {
        m.addTri(id[0], id[2], id[1]);
        m.addTri(id[0], id[3], id[2]);
    } else {
        m.addTri(id[0], id[1], id[2]);
        m.addTri(id[0], id[2], id[3]);
    }
}

// Where a point of the cell samples its own height.
P own(float x, float y, float z) {
    return P{x, y, z, x + 0.5f, z + 0.5f};
}

// A box standing on the height sampled at (su, sv): x0..x1, z0..z1, y0..y1.
void box(MeshModel& m, float x0, float x1, float z0, float z1, float y0, float y1, float su,
         float sv, uint32_t color, bool bottom = false) {
    auto p = [&](float x, float y, float z) { return P{x, y, z, su, sv}; };
    quad(m, p(x0, y1, z0), p(x0, y1, z1), p(x1, y1, z1), p(x1, y1, z0), 0, 1, 0, color);
    quad(m, p(x0, y0, z0), p(x0, y1, z0), p(x1, y1, z0), p(x1, y0, z0), 0, 0, -1, color);
    quad(m, p(x1, y0, z1), p(x1, y1, z1), p(x0, y1, z1), p(x0, y0, z1), 0, 0, 1, color);
    quad(m, p(x0, y0, z1), p(x0, y1, z1), p(x0, y1, z0), p(x0, y0, z0), -1, 0, 0, color);
    quad(m, p(x1, y0, z0), p(x1, y1, z0), p(x1, y1, z1), p(x1, y0, z1), 1, 0, 0, color);
    if (bottom)
        quad(m, p(x0, y0, z0), p(x1, y0, z0), p(x1, y0, z1), p(x0, y0, z1), 0, -1, 0, color);
}

// [SECTION] house tiles

void tile_base(MeshModel& m) {
    m.shader_lo = "inst_building.sh";
    m.shader_hi = "dr_inst_building.sh";
    m.textures = {"detail.dds"};
}

// The flat top of a tile that lies at the height sampled at (su, sv), or (own) follows
// the cell's heights, in 4 x 4 pieces so slopes stay smooth.
void top(MeshModel& m, uint32_t color, bool follow, float su = 1.0f, float sv = 1.0f,
         float y = 0.0f) {
    const int N = follow ? 4 : 1;
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) {
            float x0 = -0.5f + float(j) / float(N), x1 = x0 + 1.0f / float(N);
            float z0 = -0.5f + float(i) / float(N), z1 = z0 + 1.0f / float(N);
            auto p = [&](float x, float z) {
                return follow ? own(x, y, z) : P{x, y, z, su < 0 ? x + 0.5f : su, sv};
            };
            quad(m, p(x0, z0), p(x0, z1), p(x1, z1), p(x1, z0), 0, 1, 0, color);
        }
}

// A wall face along the tile's -z edge from the ground there up to the far edge's height,
// with caps at both ends down to the cell's own heights.
void wall(MeshModel& m, uint32_t color) {
    const int N = 4;
    for (int j = 0; j < N; ++j) {
        float x0 = -0.5f + float(j) / N, x1 = x0 + 1.0f / N;
        quad(m, P{x0, FOOT, -0.5f, x0 + 0.5f, 0}, P{x0, 0, -0.5f, x0 + 0.5f, 1},
             P{x1, 0, -0.5f, x1 + 0.5f, 1}, P{x1, FOOT, -0.5f, x1 + 0.5f, 0}, 0, 0, -1, color);
    }
    top(m, color, false, -1.0f, 1.0f);
    for (int side = 0; side < 2; ++side) {
        float x = side ? 0.5f : -0.5f, su = side ? 1.0f : 0.0f;
        for (int i = 0; i < N; ++i) {
            float z0 = -0.5f + float(i) / N, z1 = z0 + 1.0f / N;
            quad(m, P{x, FOOT, z0, su, z0 + 0.5f}, P{x, 0, z0, su, 1}, P{x, 0, z1, su, 1},
                 P{x, FOOT, z1, su, z1 + 0.5f}, side ? 1.0f : -1.0f, 0, 0, color);
        }
    }
}

// A corner: faces along -z and -x up to the height of the (+, +) corner.
void corner(MeshModel& m, uint32_t color) {
    const int N = 4;
    for (int j = 0; j < N; ++j) {
        float a0 = -0.5f + float(j) / N, a1 = a0 + 1.0f / N;
        quad(m, P{a0, FOOT, -0.5f, a0 + 0.5f, 0}, P{a0, 0, -0.5f, 1, 1}, P{a1, 0, -0.5f, 1, 1},
             P{a1, FOOT, -0.5f, a1 + 0.5f, 0}, 0, 0, -1, color);
        quad(m, P{-0.5f, FOOT, a0, 0, a0 + 0.5f}, P{-0.5f, 0, a0, 1, 1}, P{-0.5f, 0, a1, 1, 1},
             P{-0.5f, FOOT, a1, 0, a1 + 0.5f}, -1, 0, 0, color);
        // Caps on the inner edges reach down to whatever the cell's heights are there.
        quad(m, P{0.5f, FOOT, a0, 1, a0 + 0.5f}, P{0.5f, 0, a0, 1, 1}, P{0.5f, 0, a1, 1, 1},
             P{0.5f, FOOT, a1, 1, a1 + 0.5f}, 1, 0, 0, color);
        quad(m, P{a0, FOOT, 0.5f, a0 + 0.5f, 1}, P{a0, 0, 0.5f, 1, 1}, P{a1, 0, 0.5f, 1, 1},
             P{a1, FOOT, 0.5f, a1 + 0.5f, 1}, 0, 0, 1, color);
    }
    top(m, color, false, 1.0f, 1.0f);
}

// Merlons along the outer edge, standing on the height sampled at (su, sv).
void merlons(MeshModel& m, float su, float sv, bool along_x) {
    for (float c : {-0.25f, 0.25f}) {
        if (along_x)
            box(m, -0.5f, -0.28f, c - 0.13f, c + 0.13f, 0.0f, 0.55f, su, sv, STONE);
        else
            box(m, c - 0.13f, c + 0.13f, -0.5f, -0.28f, 0.0f, 0.55f, su, sv, STONE);
    }
}

// An arrow slit in the -z face, centred on x, below the wall's top.
void slit(MeshModel& m, float x) {
    float x0 = x - 0.045f, x1 = x + 0.045f;
    quad(m, P{x0, -1.7f, -0.505f, x0 + 0.5f, 1}, P{x0, -0.85f, -0.505f, x0 + 0.5f, 1},
         P{x1, -0.85f, -0.505f, x1 + 0.5f, 1}, P{x1, -1.7f, -0.505f, x1 + 0.5f, 1}, 0, 0, -1, SLIT);
}

// A hipped roof quarter rising to the (+, +) corner, with eaves over the walls.
void roof(MeshModel& m) {
    const float RISE = 2.6f, EAVE = 0.18f;
    P ll{-0.5f - EAVE, -0.12f, -0.5f - EAVE, 0, 0};
    P hl{0.5f, -0.12f, -0.5f - EAVE, 1, 0};
    P lh{-0.5f - EAVE, -0.12f, 0.5f, 0, 1};
    P hh{0.5f, RISE, 0.5f, 1, 1};
    const float s = RISE / 1.18f;
    // Two triangles as degenerate quads keep one code path for winding.
    quad(m, ll, hl, hh, hh, 0, 1.0f, -s, ROOF);
    quad(m, ll, hh, lh, lh, -s, 1.0f, 0, ROOF);
    // A capping ridge along the hips.
    const uint32_t RIDGE = 0xFF6E3424u;
    quad(m, P{-0.5f - EAVE, -0.07f, -0.5f - EAVE, 0, 0}, P{0.5f, RISE + 0.06f, 0.5f, 1, 1},
         P{0.5f, RISE + 0.06f, 0.44f, 1, 1}, P{-0.5f - EAVE, -0.07f, -0.56f - EAVE, 0, 0}, 0.7f,
         1.0f, -0.7f, RIDGE);
}

MeshModel house_tile(const std::string& name) {
    MeshModel m;
    tile_base(m);
    if (name == "roof_corner") {
        roof(m);
        m.addBall(0.1f, 1.4f, 0.1f, 0.7f);
    } else if (name == "tower_corner") {
        corner(m, STONE);
        merlons(m, 1, 1, true);
        merlons(m, 1, 1, false);
        box(m, -0.5f, -0.28f, -0.5f, -0.28f, 0.0f, 0.75f, 1, 1, STONE);
        m.addBall(0, 1.5f, 0, 0.75f);
    } else if (name == "tower_wall1" || name == "tower_wall2") {
        wall(m, STONE);
        merlons(m, 0.5f, 1, false);
        slit(m, name == "tower_wall1" ? -0.12f : 0.12f);
        m.addBall(0, 1.0f, 0, 0.7f);
    } else if (name == "castle_walk") {
        top(m, WALK, true);
    } else if (name == "merlon_top") {
        top(m, STONE, true);
    } else if (name == "merlon_corner") {
        corner(m, STONE);
        m.addBall(0, 0.4f, 0, 0.5f);
    } else if (name == "merlon_wall1" || name == "merlon_wall2") {
        wall(m, STONE);
        m.addBall(0, 0.4f, 0, 0.5f);
    } else if (name.rfind("castle_wall", 0) == 0 || name.rfind("castle_slant", 0) == 0) {
        wall(m, STONE);
        if (name == "castle_wall2" || name == "castle_wall4") slit(m, 0.0f);
        m.addBall(0, 0.6f, 0, 0.65f);
    } else { // castle_corner1, castle_corner2: where walls meet towers, on the cell's heights
        top(m, STONE, true);
        for (int side = 0; side < 4; ++side) {
            const int N = 4;
            for (int j = 0; j < N; ++j) {
                float a0 = -0.5f + float(j) / N, a1 = a0 + 1.0f / N;
                float e = side < 2 ? -0.5f : 0.5f;
                if (side % 2 == 0)
                    quad(m, own(a0, FOOT, e), own(a0, 0, e), own(a1, 0, e), own(a1, FOOT, e), 0, 0,
                         e, STONE);
                else
                    quad(m, own(e, FOOT, a0), own(e, 0, a0), own(e, 0, a1), own(e, FOOT, a1), e, 0,
                         0, STONE);
            }
        }
        m.addBall(0, 0.5f, 0, 0.6f);
    }
    return m;
}

// [SECTION] creatures and stones

void object_base(MeshModel& m, const char* kind) {
    m.shader_lo = std::string("inst_") + kind + ".sh";
    m.shader_hi = std::string("dr_inst_") + kind + ".sh";
    m.textures = {"detail.dds"};
}

uint32_t hash32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// A UV sphere of `rings` x `segs`, shaped by f(dir) -> radius scale per axis, coloured by c.
void ellipsoid(MeshModel& m, float cx, float cy, float cz, float rx, float ry, float rz, int rings,
               int segs, const std::function<uint32_t(float, float, float)>& color,
               const std::function<float(float, float, float)>& bump = nullptr) {
    const int base = int(m.verts.size());
    for (int i = 0; i <= rings; ++i) {
        float th = float(M_PI) * float(i) / float(rings);
        for (int j = 0; j <= segs; ++j) {
            float ph = 2.0f * float(M_PI) * float(j) / float(segs);
            float d[3] = {sinf(th) * cosf(ph), cosf(th), sinf(th) * sinf(ph)};
            float k = bump ? bump(d[0], d[1], d[2]) : 1.0f;
            float n[3] = {d[0] / rx, d[1] / ry, d[2] / rz};
            MeshVertex v = vert(cx + d[0] * rx * k, cy + d[1] * ry * k, cz + d[2] * rz * k, n,
                                color(d[0], d[1], d[2]));
            v.uv[0] = float(j) / float(segs);
            v.uv[1] = float(i) / float(rings);
            m.addVertex(v);
        }
    }
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segs; ++j) {
            int a = base + i * (segs + 1) + j, b = a + segs + 1;
            // Seen from outside: a, a + 1, b + 1 runs clockwise.
            m.addTri(a, b, a + 1);
            m.addTri(a + 1, b, b + 1);
        }
}

MeshModel stone() {
    MeshModel m;
    object_base(m, "simple");
    ellipsoid(
        m, 0, 0.35f, 0, 0.6f, 0.45f, 0.55f, 8, 12,
        [](float, float y, float) { return y < -0.5f ? 0xFF6F6A60u : 0xFF938C80u; },
        [](float x, float y, float z) {
            int q = int((x + 1) * 2.5f) + 7 * int((y + 1) * 2.5f) + 31 * int((z + 1) * 2.5f);
            return 0.85f + 0.3f * float(hash32(uint32_t(q)) & 255) / 255.0f;
        });
    m.addBall(0, 0.35f, 0, 0.55f);
    return m;
}

// Wings: flat tapering panels out to +-0.9 in x; the target pose lifts them.
void wing(MeshModel& m, float side, uint32_t color) {
    const int N = 4;
    const float span = 0.9f;
    for (int k = 0; k < N; ++k) {
        float t0 = float(k) / N, t1 = float(k + 1) / N;
        auto chord = [](float t) { return 0.28f * (1.0f - 0.7f * t); };
        float pts[4][2] = {
            {t0, -chord(t0)}, {t0, chord(t0) * 0.6f}, {t1, chord(t1) * 0.6f}, {t1, -chord(t1)}};
        int id[4];
        for (int i = 0; i < 4; ++i) {
            float t = pts[i][0];
            float x = side * (0.1f + t * span), z = pts[i][1];
            float y = -0.15f * t * t; // resting: tips a little down
            float n[3] = {0, 1, 0};
            MeshVertex v = vert(x, y, z, n, color);
            float ang = 1.1f; // target: raised
            float r = 0.1f + t * span;
            v.morph_pos[0] = side * (r * cosf(ang)) - x;
            v.morph_pos[1] = r * sinf(ang) - 0.05f - y;
            v.morph_normal[0] = -side * sinf(ang);
            v.morph_normal[1] = cosf(ang) - 1.0f;
            id[i] = m.addVertex(v);
        }
        if (side > 0) {
            m.addTri(id[0], id[1], id[2]);
            m.addTri(id[0], id[2], id[3]);
        } else {
            m.addTri(id[0], id[2], id[1]);
            m.addTri(id[0], id[3], id[2]);
        }
    }
}

MeshModel bird() {
    MeshModel m;
    object_base(m, "morph");
    m.morph = true;
    ellipsoid(m, 0, 0, 0, 0.13f, 0.11f, 0.32f, 6, 10,
              [](float, float y, float) { return y < -0.3f ? 0xFFD8D2C4u : 0xFF4A4038u; });
    ellipsoid(m, 0, 0.06f, 0.33f, 0.085f, 0.085f, 0.1f, 5, 8,
              [](float, float, float z) { return z > 0.85f ? 0xFFD9A030u : 0xFF3A332Cu; });
    // Tail fan.
    const float n[3] = {0, 1, 0};
    int a = m.addVertex(vert(0, 0.02f, -0.25f, n, 0xFF3A332Cu));
    int b = m.addVertex(vert(-0.12f, 0.0f, -0.55f, n, 0xFF3A332Cu));
    int c = m.addVertex(vert(0.12f, 0.0f, -0.55f, n, 0xFF3A332Cu));
    m.addTri(a, b, c);
    wing(m, 1.0f, 0xFF5A4E42u);
    wing(m, -1.0f, 0xFF5A4E42u);
    m.addBall(0, 0, 0, 0.3f);
    return m;
}

MeshModel gatherer_body() {
    MeshModel m;
    object_base(m, "morph");
    m.morph = true;
    // A squat shell on stubby legs; the target pose squashes it as it pulls mana in.
    ellipsoid(m, 0, 0.55f, 0, 0.6f, 0.45f, 0.6f, 10, 16, [](float x, float y, float z) {
        float band = sinf(atan2f(z, x) * 6.0f);
        if (y > 0.75f) return 0xFF8FC8E8u; // the glowing crown
        return band > 0.6f && y > -0.2f ? 0xFF6A5C8Au : 0xFF8A7A9Eu;
    });
    for (int i = 0; i < 3; ++i) {
        float a = 2.0944f * float(i) + 0.5f;
        ellipsoid(m, 0.45f * cosf(a), 0.15f, 0.45f * sinf(a), 0.12f, 0.18f, 0.12f, 4, 6,
                  [](float, float, float) { return 0xFF54486Au; });
    }
    for (MeshVertex& v : m.verts) {
        float y = v.pos[1];
        v.morph_pos[1] = -0.25f * (y - 0.1f);
        v.morph_pos[0] = 0.12f * v.pos[0];
        v.morph_pos[2] = 0.12f * v.pos[2];
        v.morph_normal[1] = 0.2f * v.normal[1];
    }
    m.addBall(0, 0.5f, 0, 0.6f);
    return m;
}

MeshModel gatherer_eye() {
    MeshModel m;
    object_base(m, "simple");
    ellipsoid(m, 0, 0, 0, 0.12f, 0.12f, 0.12f, 8, 12, [](float, float, float z) {
        return z > 0.8f ? 0xFF101010u : z > 0.55f ? 0xFF3CB0D8u : 0xFFF0EEE8u;
    });
    return m;
}

MeshModel wyvern_head() {
    MeshModel m;
    object_base(m, "simple");
    const auto scale = [](uint32_t c) {
        return [c](float, float y, float) { return y < -0.4f ? 0xFFB8A070u : c; };
    };
    ellipsoid(m, 0, 0, 0.2f, 0.28f, 0.24f, 0.45f, 8, 12, scale(0xFF3F6A3Au));
    ellipsoid(m, 0, -0.08f, 0.62f, 0.17f, 0.12f, 0.32f, 6, 10, scale(0xFF3F6A3Au));
    ellipsoid(m, 0, -0.2f, 0.5f, 0.14f, 0.06f, 0.3f, 4, 8, scale(0xFF35583Au)); // jaw
    for (float s : {-1.0f, 1.0f}) {
        ellipsoid(m, 0.17f * s, 0.1f, 0.45f, 0.05f, 0.05f, 0.05f, 4, 6,
                  [](float, float, float) { return 0xFFE8C040u; });
        // Horns sweep back.
        ellipsoid(m, 0.15f * s, 0.25f, -0.05f, 0.05f, 0.05f, 0.3f, 4, 6,
                  [](float, float, float) { return 0xFFD8CCB0u; });
    }
    m.addBall(0, 0, 0.3f, 0.4f);
    return m;
}

MeshModel wyvern_tail() {
    MeshModel m;
    object_base(m, "simple");
    // A tapering cone along +z ending in a spade.
    const int R = 10, S = 8;
    const int base = int(m.verts.size());
    for (int i = 0; i <= S; ++i) {
        float t = float(i) / S, r = 0.3f * (1.0f - 0.9f * t);
        for (int j = 0; j <= R; ++j) {
            float a = 2.0f * float(M_PI) * float(j) / R;
            float n[3] = {cosf(a), sinf(a), 0.12f};
            m.addVertex(vert(r * cosf(a), r * sinf(a), 2.0f * t, n,
                             sinf(a) < -0.5f ? 0xFFB8A070u : 0xFF3F6A3Au));
        }
    }
    for (int i = 0; i < S; ++i)
        for (int j = 0; j < R; ++j) {
            int a = base + i * (R + 1) + j, b = a + R + 1;
            m.addTri(a, a + 1, b);
            m.addTri(a + 1, b + 1, b);
        }
    const float n[3] = {0, 1, 0};
    int t0 = m.addVertex(vert(0, 0, 1.8f, n, 0xFF2E4C2Au));
    int t1 = m.addVertex(vert(-0.3f, 0, 2.1f, n, 0xFF2E4C2Au));
    int t2 = m.addVertex(vert(0, 0, 2.5f, n, 0xFF2E4C2Au));
    int t3 = m.addVertex(vert(0.3f, 0, 2.1f, n, 0xFF2E4C2Au));
    m.addTri(t0, t1, t2);
    m.addTri(t0, t2, t3);
    m.addBall(0, 0, 0.5f, 0.3f);
    return m;
}

// A unit tube along z from 0 to 1 (ring radius 1); the spline instance bends and sizes it.
MeshModel wyvern_body() {
    MeshModel m;
    object_base(m, "spline");
    const int R = 12, S = 16;
    for (int i = 0; i <= S; ++i) {
        float t = float(i) / S;
        for (int j = 0; j <= R; ++j) {
            float a = 2.0f * float(M_PI) * float(j) / R;
            float n[3] = {cosf(a), sinf(a), 0};
            // Belly scales below, a ridge of darker scales along the back.
            uint32_t c = sinf(a) < -0.5f ? 0xFFB8A070u : sinf(a) > 0.9f ? 0xFF2C4A2Au : 0xFF3F6A3Au;
            float ridge = sinf(a) > 0.95f ? 1.12f : 1.0f;
            MeshVertex v = vert(cosf(a) * ridge, sinf(a) * ridge, t, n, c);
            v.uv[0] = float(j) / R;
            v.uv[1] = t * 4.0f;
            m.addVertex(v);
        }
    }
    for (int i = 0; i < S; ++i)
        for (int j = 0; j < R; ++j) {
            int a = i * (R + 1) + j, b = a + R + 1;
            m.addTri(a, a + 1, b);
            m.addTri(a + 1, b + 1, b);
        }
    m.addBall(0, 0, 0.5f, 1.0f);
    return m;
}
} // namespace

std::vector<std::string> model_names() {
    return {
        "roof_corner.mesh",   "tower_corner.mesh",   "tower_wall1.mesh",    "tower_wall2.mesh",
        "castle_walk.mesh",   "merlon_top.mesh",     "merlon_corner.mesh",  "merlon_wall1.mesh",
        "merlon_wall2.mesh",  "castle_wall1.mesh",   "castle_wall2.mesh",   "castle_wall3.mesh",
        "castle_wall4.mesh",  "castle_slant1.mesh",  "castle_slant2.mesh",  "castle_slant3.mesh",
        "castle_slant4.mesh", "castle_corner1.mesh", "castle_corner2.mesh", "stone1.mesh",
        "bird_body.mesh",     "gatherer_body.mesh",  "gatherer_eye.mesh",   "wyvern_head.mesh",
        "wyvern_tail.mesh",   "wyvern_body.mesh"};
}

MeshModel make_model(const std::string& file) {
    const std::string name = file.substr(0, file.find('.'));
    if (name == "stone1") return stone();
    if (name == "bird_body") return bird();
    if (name == "gatherer_body") return gatherer_body();
    if (name == "gatherer_eye") return gatherer_eye();
    if (name == "wyvern_head") return wyvern_head();
    if (name == "wyvern_tail") return wyvern_tail();
    if (name == "wyvern_body") return wyvern_body();
    return house_tile(name);
}
