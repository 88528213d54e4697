#include "tests/scene_objects/house_test_util.h"

#include "render/mesh.h"
#include "render/overlay/dyn_vb_writer.h"
#include "scene/heightmap_renderer.h"
#include "scene/objects/buildings.h"
#include "scene/pipeline/postfx.h"
#include "scene/pipeline/scene_high.h"
#include "scene/pipeline/shadows.h"
#include "scene/scene_render.h"
#include "scene/sky.h"
#include "tools/meshgen/mesh_writer.h"
#include "world/heightmap.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace HeightmapData;
using HR = HeightmapRenderer;

namespace {
void no_actor(float) {}
void no_building(const Surface*, int, int) {}
} // namespace

void HouseSceneTest::start(int w, int h, int gfx_quality) {
    quality = gfx_quality;
    openScene(w, h, true);
    for (const std::string& name : model_names())
        ASSERT_TRUE(write_mesh_file(path(name.c_str()), make_model(name)));
    common_vb_writer.create(COMMON_VB_SIZE);
    reset();
    memset(water, 0, sizeof(water));
    memset(tmpw, 0, sizeof(tmpw));
    init_sky();
    init_scene_tex();
    init_postfx_high();
    HR::init(quality);
    if (quality) {
        init_deferred_shaders();
        init_shadows();
    }
    set_sky_sun(false, make4f(-0.55f, 0.62f, 0.52f, 0));
    init_house_renderers();
    scene_render_building = record_house_cell;
    scene_render_actor = [](float) { render_house_cells(); };
    scene_render_actor_shadow = [](float) { render_house_shadows(); };
    use_fog = use_postfx = use_ppaa = use_obj_shadows = true;
    use_wireframe = false;
}

void HouseSceneTest::TearDown() {
    scene_render_building = no_building;
    scene_render_actor = no_actor;
    scene_render_actor_shadow = no_actor;
    close_house_renderers();
    close_inst_renderers();
    close_shadows();
    close_deferred_shaders();
    close_postfx_high();
    HR::close();
    common_vb_writer.release();
    free_all_meshes();
    SceneTest::TearDown();
}

void HouseSceneTest::flat_world(float height) {
    for (int i = 0; i < HMAP_CELLS; ++i) {
        hmap[i] = height;
        surface[i].color = 0xFF6A8040u;
    }
    memcpy(target_hmap, hmap, sizeof(hmap));
}

void HouseSceneTest::set_camera(const vec4f& eye, const vec4f& at, float ortho) {
    set_test_camera(eye, at);
    ortho_size = ortho;
    if (ortho > 0.0f) {
        const float n = 0.1f, f = 512.0f;
        const Matrix44 proj = {{{2.0f / ortho, 0, 0, 0},
                                {0, 2.0f / ortho * float(d3d_wd) / float(d3d_ht), 0, 0},
                                {0, 0, 1.0f / (f - n), 0},
                                {0, 0, -n / (f - n), 1}}};
        set_proj_tm(proj);
        Matrix44 glob;
        get_glob_tm(glob);
        set_vs_consts(0, &glob.m[0][0], 4);
    }
}

void HouseSceneTest::render_high(const vec4f& eye, const vec4f& at, float ortho) {
    ASSERT_TRUE(begin_d3d_scene());
    set_camera(eye, at, ortho);
    update_sky(1.0f);
    HR::frameUpdate(0.05f);
    render_scene_high(0.05f, 1.0f);
    end_d3d_scene();
}

void HouseSceneTest::render_low(const vec4f& eye, const vec4f& at, float ortho) {
    ASSERT_TRUE(begin_d3d_scene());
    set_camera(eye, at, ortho);
    update_sky(1.0f);
    HR::frameUpdate(0.05f);
    render_scene_low(0.05f, 1.0f);
    end_d3d_scene();
}

std::vector<float> HouseSceneTest::read_depth() {
    std::vector<uint32_t> px = readTexture(rt_c);
    std::vector<float> d(px.size());
    for (size_t i = 0; i < px.size(); ++i) {
        const uint32_t c = px[i];
        d[i] =
            (float((c >> 16) & 255) + float((c >> 8) & 255) / 255.0f + float(c & 255) / 65025.0f) /
            255.0f * 512.0f;
    }
    return d;
}

bool HouseSceneTest::pixel_of(float x, float z, const vec4f& eye, int& px, int& py) const {
    // Screen right is world x, screen up world z.
    px = int(floorf((x - eye.x) / ortho_size * float(d3d_wd) + 0.5f * float(d3d_wd)));
    py = int(floorf(0.5f * float(d3d_ht) - (z - eye.z) / ortho_size * float(d3d_ht)));
    return px >= 0 && py >= 0 && px < d3d_wd && py < d3d_ht;
}

float HouseSceneTest::top_height(const std::vector<float>& depth, float x, float z,
                                 const vec4f& eye) {
    int px, py;
    if (!pixel_of(x, z, eye, px, py)) return -1e9f;
    return eye.y - depth[size_t(py) * size_t(d3d_wd) + size_t(px)];
}

void HouseSceneTest::save_png(const char* name, const std::vector<uint32_t>& px) {
    const char* out = getenv("VELTMOOR_TEST_OUT");
    write_png(std::string(out && *out ? out : "/tmp") + "/" + name, px.data(), d3d_wd, d3d_ht);
}
