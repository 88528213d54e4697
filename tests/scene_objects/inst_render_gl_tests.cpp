// Instanced rendering on the device: the empty list, the declaration limit, copying
// block by block, and house plots drawn through the building renderers.
#include "render/buffers.h"
#include "render/device_internal.h"
#include "render/mesh.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/shaders.h"
#include "scene/heightmap_renderer.h"
#include "scene/objects/buildings.h"
#include "scene/objects/inst_render.h"
#include "scene/pipeline/postfx.h"
#include "scene/pipeline/scene_high.h"
#include "scene/pipeline/shadows.h"
#include "scene/scene_render.h"
#include "scene/sky.h"
#include "tests/scene/scene_test_util.h"
#include "tests/scene_objects/house_test_util.h"
#include "tools/meshgen/mesh_writer.h"
#include "world/hmGen.h"

#include <cmath>
#include <cstring>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

using namespace HeightmapData;
using HR = HeightmapRenderer;

namespace {

class InstRenderGl : public HouseSceneTest {};

TEST_F(InstRenderGl, EmptyListDrawsNothingAndSetsNoState) {
    start(64, 64, 0);
    stone1_inst.init("stone1.mesh");
    set_vertex_decl(nullptr);
    set_ib(nullptr);
    set_vb(0, nullptr, 0, 0);
    set_shader(nullptr);
    const GLuint pipeline = g_dev.pipeline;
    inst_render_stats = InstRenderStats();
    stone1_inst.render();
    EXPECT_EQ(inst_render_stats.draws, 0);
    EXPECT_EQ(g_dev.decl, nullptr);
    EXPECT_EQ(g_dev.index_buf, 0u);
    EXPECT_EQ(g_dev.stream_buf[0], 0u);
    EXPECT_EQ(g_dev.stream_buf[1], 0u);
    EXPECT_EQ(g_dev.pipeline, pipeline);
    EXPECT_EQ(stone1_inst.instanceCount(), 0);
}

TEST_F(InstRenderGl, DeclarationLimitCountsMeshAndInstanceElements) {
    // Only the device and the files: the death test's exit must not meet live script VMs.
    openScene(64, 64, true);
    MeshModel m = make_model("wyvern_body.mesh");
    auto write = [&](const char* name, int elements) {
        std::vector<uint8_t> bytes = encode_mesh(m, elements - 5);
        FILE* f = fopen(path(name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    };
    write("e23.mesh", 23);
    write("e28.mesh", 28);
    SplineInstRender r;
    r.init("e23.mesh");
    EXPECT_EQ(r.mesh->vsd.num, 23);
    EXPECT_NE(r.vdecl, nullptr);
    r.close();
    EXPECT_EXIT(r.init("e28.mesh"), testing::ExitedWithCode(100),
                "mesh->vsd.size\\(\\)\\+inum<MAX_VDECL_LEN");
}

TEST_F(InstRenderGl, BlocksBeyondOneBufferFillAreDrawnInTurn) {
    start(64, 64, 0);
    castle_walk_inst.init("castle_walk.mesh");
    std::vector<BuildingInstance> recs(3000);
    for (size_t i = 0; i < recs.size(); ++i) {
        recs[i] = BuildingInstance{int16_t(i % 50), int16_t(i / 50), {1, 1, 1, 1}, 0x80FF8080u};
    }
    // Three blocks of 2500, 3000 and 1 records: 5501 records of 24 bytes.
    castle_walk_inst.appendBlock(recs.data(), 2500 * 24);
    castle_walk_inst.appendBlock(recs.data(), 3000 * 24);
    castle_walk_inst.addInstance(&recs[7]);
    ASSERT_EQ(castle_walk_inst.instanceCount(), 5501);
    inst_render_stats = InstRenderStats();
    castle_walk_inst.render();
    const int per_fill = COMMON_VB_SIZE / 24;
    EXPECT_EQ(inst_render_stats.draws, (5501 + per_fill - 1) / per_fill);
    EXPECT_EQ(inst_render_stats.instances, 5501);
    for (int i = 0; i + 1 < inst_render_stats.draws; ++i)
        EXPECT_EQ(inst_render_stats.last_counts[i], per_fill);
    EXPECT_EQ(castle_walk_inst.instanceCount(), 0);
    EXPECT_EQ(castle_walk_inst.head, nullptr);
    // The list refills from the same storage next frame.
    castle_walk_inst.addInstance(&recs[0]);
    EXPECT_EQ(castle_walk_inst.instanceCount(), 1);
    castle_walk_inst.clearInstances();
}

TEST_F(InstRenderGl, ShadowBallsFollowTheWorldMatrix) {
    start(64, 64, 1);
    stone1_inst.init("stone1.mesh");
    ASSERT_EQ(stone1_inst.mesh->shadow_balls.num, 1);
    const ShadowBall b = stone1_inst.mesh->shadow_balls[0];
    Matrix44 tm = {{{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 2, 0}, {10, 5, 20, 1}}};
    set_test_camera(make4f(0, 20, 0, 1), make4f(10, 5, 20, 1));
    start_render_shadows();
    stone1_inst.renderShadowBalls(tm, 2.0f);
    ASSERT_EQ(shadow_balls.num, 1);
    EXPECT_FLOAT_EQ(shadow_balls[0].x, 2 * b.x + 10);
    EXPECT_FLOAT_EQ(shadow_balls[0].y, 3 * b.y + 5);
    EXPECT_FLOAT_EQ(shadow_balls[0].z, 2 * b.z + 20);
    EXPECT_FLOAT_EQ(shadow_balls[0].w, 2 * b.radius);
}

// A court on flat ground seen from straight above: every tile stands at the heights its
// orientation gives it, so each cell's top lies where the tile's high side is.
TEST_F(InstRenderGl, PlacedCourtShowsEveryTileOrientedFromAbove) {
    start(512, 512, 1);
    flat_world(3.0f);
    placeHouse(128, 128, -1, hmap, false);
    memcpy(target_hmap, hmap, sizeof(hmap));
    const vec4f eye = make4f(128.0f, 60.0f, 128.0f, 1);
    render_high(eye, make4f(128.0f, 0.0f, 128.01f, 1), 24.0f);
    save_png("court_from_above.png", readTexture(scene_tex));
    EXPECT_GT(shadow_balls.num, 150); // the tiles drawn cast their shadow balls
    const std::vector<float> depth = read_depth();
    int checked = 0, roofs = 0;
    for (int z = 119; z < 137; ++z)
        for (int x = 119; x < 137; ++x) {
            const Surface& s = surface[hm_index(x, z)];
            if (s.ground_type != GT_HOUSE) continue;
            const TileRot r = tile_rot_matrix(int(s.tile_rot));
            // Local (u, v) in -0.5..0.5 to world.
            auto world = [&](float u, float v) {
                return make4f(float(x) + 0.5f + float(r.m00) * u + float(r.m01) * v, 0,
                              float(z) + 0.5f + float(r.m10) * u + float(r.m11) * v, 0);
            };
            BuildingInstance b;
            ASSERT_TRUE(make_building_instance(&s, x, z, b));
            auto height_at = [&](float u, float v) {
                vec4f w = world(u, v);
                return top_height(depth, w.x, w.z, eye);
            };
            const char letter = char('a' + s.tile);
            if (letter == 'a') {
                // Roofs rise towards their (+, +) corner.
                EXPECT_GT(height_at(0.35f, 0.2f), height_at(-0.2f, -0.35f) + 0.8f)
                    << x << "," << z << " rot " << s.tile_rot;
                ++roofs;
            } else if (strchr("cdhijklmnopq", letter)) {
                // Walls: the top lies at the far edge's heights, here in the middle.
                float want = 0.5f * (b.h[2] + b.h[3]);
                float tol = 0.15f + 0.15f * fabsf(b.h[2] - b.h[3]); // slants: a pixel's slope
                EXPECT_NEAR(height_at(0.0f, 0.1f), want, tol) << letter << " " << x << "," << z;
            } else if (strchr("bg", letter)) {
                EXPECT_NEAR(height_at(0.1f, 0.1f), b.h[3], 0.15f) << letter << " " << x << "," << z;
            } else {
                float want = 0.25f * (b.h[0] + b.h[1] + b.h[2] + b.h[3]);
                float lo = fminf(fminf(b.h[0], b.h[1]), fminf(b.h[2], b.h[3]));
                float hi = fmaxf(fmaxf(b.h[0], b.h[1]), fmaxf(b.h[2], b.h[3]));
                EXPECT_NEAR(height_at(0.0f, 0.0f), want, 0.15f + 0.1f * (hi - lo))
                    << letter << " " << x << "," << z;
            }
            ++checked;
        }
    EXPECT_EQ(checked, 264); // the court's lettered cells
    EXPECT_EQ(roofs, 20);
    // A view for the eye, in the test output folder.
    render_high(make4f(108.0f, 22.0f, 104.0f, 1), make4f(128.0f, 4.0f, 128.0f, 1));
    save_png("court_view.png", readTexture(scene_tex));
}

// A stone, birds, a gatherer and a wyvern drawn through their renderers on both paths:
// each shows where its instance puts it, and nowhere else changes.
class ObjectsGl : public HouseSceneTest, public testing::WithParamInterface<int> {};

void draw_objects(float) {
    SimpleInstance s = {
        {pack_inst_row(1, 0, 0, 2), pack_inst_row(0, 1, 0, 2), pack_inst_row(0, 0, 1, 2)},
        {124.0f, 3.0f, 140.0f},
        0xFF808080u};
    stone1_inst.addInstance(&s);
    MorphInstance b = {s, 0x00FF0000u}; // wings up
    b.base.pos[0] = 130.0f;
    b.base.pos[1] = 8.0f;
    bird_body_inst.addInstance(&b);
    b.base.pos[0] = 136.0f;
    b.base.pos[2] = 138.0f;
    b.morph = 0;
    gatherer_body_inst.addInstance(&b);
    SplineInstance w = {{{118, 5, 150}, {124, 9, 150}, {132, 3, 150}, {138, 6, 150}},
                        {0xFF80FF80u, 0xFF80FF80u},
                        {0xFF808080u, 0x00101800u}};
    wyvern_body_inst.addInstance(&w);
    stone1_inst.render();
    bird_body_inst.render();
    gatherer_body_inst.render();
    wyvern_body_inst.render();
}

TEST_P(ObjectsGl, ObjectsStandWhereTheirInstancesSay) {
    start(320, 240, GetParam());
    flat_world(3.0f);
    stone1_inst.init("stone1.mesh");
    bird_body_inst.init("bird_body.mesh");
    gatherer_body_inst.init("gatherer_body.mesh");
    wyvern_body_inst.init("wyvern_body.mesh");
    const vec4f eye = make4f(128.0f, 14.0f, 118.0f, 1), at = make4f(128.0f, 5.0f, 145.0f, 1);
    std::vector<uint32_t> img[2];
    for (int k = 0; k < 2; ++k) {
        scene_render_actor = k ? draw_objects : [](float) {};
        if (GetParam())
            render_high(eye, at);
        else
            render_low(eye, at);
        img[k] = readTexture(scene_tex);
        save_png(k ? "dbg1.png" : "dbg0.png", img[k]);
    }
    scene_render_actor = [](float) { render_house_cells(); };
    save_png(GetParam() ? "objects_high.png" : "objects_low.png", img[1]);
    Matrix44 m;
    get_glob_tm(m);
    auto changed_near = [&](float x, float y, float z) {
        float c[4];
        for (int j = 0; j < 4; ++j)
            c[j] = x * m.m[0][j] + y * m.m[1][j] + z * m.m[2][j] + m.m[3][j];
        const int px = int((c[0] / c[3] * 0.5f + 0.5f) * float(d3d_wd));
        const int py = int((0.5f - c[1] / c[3] * 0.5f) * float(d3d_ht));
        int n = 0;
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx) {
                const size_t i = size_t(py + dy) * size_t(d3d_wd) + size_t(px + dx);
                n += img[0][i] != img[1][i];
            }
        return n;
    };
    EXPECT_GT(changed_near(124.0f, 3.7f, 140.0f), 30) << "stone";
    EXPECT_GT(changed_near(130.0f, 8.0f, 140.0f), 10) << "bird";
    EXPECT_GT(changed_near(136.0f, 9.0f, 138.0f), 30) << "gatherer";
    EXPECT_GT(changed_near(128.0f, 6.0f, 150.0f), 30) << "wyvern body";
    // The top corners show only sky.
    EXPECT_EQ(img[0][0], img[1][0]);
    EXPECT_EQ(img[0][size_t(d3d_wd) - 1], img[1][size_t(d3d_wd) - 1]);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, ObjectsGl, testing::Values(0, 1));

// A resize loses every render target; the next frame refills heights and both normal maps
// without waiting for a simulation step.
TEST_F(InstRenderGl, AResetRefillsTheLandInTheNextFrame) {
    start(64, 64, 0);
    for (int i = 0; i < HMAP_CELLS; ++i) hmap[i] = float(i & 255) * 0.1f + float(i >> 8) * 0.05f;
    memcpy(target_hmap, hmap, sizeof(hmap));
    set_test_camera(make4f(128, 40, 100, 1), make4f(128, 0, 128, 1));
    HR::frameUpdate(0.05f);
    ASSERT_FALSE(HR::land_dirty);
    ASSERT_TRUE(resize_d3d(72, 64, false, false));
    set_test_camera(make4f(128, 40, 100, 1), make4f(128, 0, 128, 1));
    HR::frameUpdate(0.05f);
    std::vector<float> h(HMAP_CELLS);
    glGetTextureImage(HR::height_tex->gl_tex, 0, GL_RED, GL_FLOAT, GLsizei(h.size() * 4), h.data());
    for (int i = 0; i < HMAP_CELLS; i += 97) ASSERT_FLOAT_EQ(h[size_t(i)], hmap[i]) << i;
    for (Texture* t : HR::norm_tex) {
        std::vector<uint32_t> n = readTexture(t);
        EXPECT_NE(n[n.size() / 2] & 0xFFFFFF, 0u); // a normal, not a lost target
    }
}

} // namespace
