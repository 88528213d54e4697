#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "tests/scene/scene_test_util.h"

#include "render/device.h"
#include "scene/heightmap_renderer.h"
#include "scene/scene_camera.h"
#include "scene/scene_render.h"
#include "scene/sky.h"
#include "tools/texgen/tex_noise.h"

#include <cmath>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <vector>

void install_scene_data(const std::string& dir, bool detail_grey) {
    DIR* d = opendir(VELTMOOR_DATA_DIR);
    ASSERT_NE(d, nullptr);
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        auto ends = [&](const char* s) {
            size_t n = strlen(s);
            return name.size() > n && name.compare(name.size() - n, n, s) == 0;
        };
        if (!ends(".sh") && !ends(".nut") && !ends(".inc")) continue;
        std::ifstream in(std::string(VELTMOOR_DATA_DIR) + "/" + name, std::ios::binary);
        std::ofstream out(dir + name, std::ios::binary);
        out << in.rdbuf();
    }
    closedir(d);
    Image detail = make_detail_texture(64);
    if (detail_grey)
        for (uint32_t& p : detail.px) p = 0xFF808080u;
    ASSERT_TRUE(write_file(dir + "detail.dds", encode_dds(make_mip_chain(detail))));
    ASSERT_TRUE(write_file(dir + "foam.dds", encode_dds(make_mip_chain(make_foam_texture(64)))));
}

static vec4f sub(const vec4f& a, const vec4f& b) {
    return make4f(a.x - b.x, a.y - b.y, a.z - b.z, 0);
}
static vec4f cross(const vec4f& a, const vec4f& b) {
    return make4f(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0);
}
static vec4f norm(const vec4f& a) {
    float l = sqrtf(a.x * a.x + a.y * a.y + a.z * a.z);
    return make4f(a.x / l, a.y / l, a.z / l, 0);
}

Matrix44 look_at(const vec4f& pos, const vec4f& target) {
    vec4f f = norm(sub(target, pos));
    vec4f up = fabsf(f.y) > 0.99f ? make4f(0, 0, 1, 0) : make4f(0, 1, 0, 0);
    vec4f r = norm(cross(up, f));
    vec4f u = cross(f, r);
    return Matrix44{
        {{r.x, r.y, r.z, 0}, {u.x, u.y, u.z, 0}, {f.x, f.y, f.z, 0}, {pos.x, pos.y, pos.z, 1}}};
}

Matrix44 set_test_camera(const vec4f& pos, const vec4f& target, float fov_y) {
    Matrix44 cam = look_at(pos, target);
    Matrix44 view = {};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) view.m[i][j] = cam.m[j][i];
    for (int j = 0; j < 3; ++j)
        view.m[3][j] = -(pos.x * cam.m[j][0] + pos.y * cam.m[j][1] + pos.z * cam.m[j][2]);
    view.m[3][3] = 1;
    set_view_tm(view);
    set_proj_tm(fov_y, float(d3d_wd) / float(d3d_ht), 0.1f, 512.0f);
    Matrix44 glob;
    get_glob_tm(glob);
    set_vs_consts(0, &glob.m[0][0], 4);
    vec4f p = make4f(pos.x, pos.y, pos.z, 1);
    set_vs_consts(4, &p.x, 1);
    set_scene_camera(cam);
    return view;
}

void SceneTest::SetUp() {}

void SceneTest::openScene(int w, int h, bool detail_grey) {
    open(w, h);
    install_scene_data(dir, detail_grey);
}

void SceneTest::TearDown() {
    HeightmapRenderer::close();
    close_sky();
    close_postfx();
    close_scene_tex();
    RenderTest::TearDown();
}

bool write_png(const std::string& path, const uint32_t* argb, int w, int h) {
    std::vector<unsigned char> rgb(size_t(w) * size_t(h) * 3);
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i) {
        rgb[3 * i] = (unsigned char)(argb[i] >> 16);
        rgb[3 * i + 1] = (unsigned char)(argb[i] >> 8);
        rgb[3 * i + 2] = (unsigned char)argb[i];
    }
    return stbi_write_png(path.c_str(), w, h, 3, rgb.data(), w * 3) != 0;
}
