// A scene test with the game's meshes in its folder and the host drawing house cells.
#pragma once

#include "tests/scene/scene_test_util.h"

#include <string>
#include <vector>

class HouseSceneTest : public SceneTest {
  protected:
    int quality = 0;
    float ortho_size = 0.0f;
    void SetUp() override {}
    void TearDown() override;
    // The device, the scene's data and meshes, both renderers of `quality`, the houses.
    void start(int w, int h, int gfx_quality);
    void flat_world(float height);
    // The test camera; `ortho` > 0: a parallel projection `ortho` units across.
    void set_camera(const vec4f& eye, const vec4f& at, float ortho);
    // One high-path frame into scene_tex (rt_c: the G-buffer depth); with
    // `ortho` the projection is parallel, `ortho` units across.
    void render_high(const vec4f& eye, const vec4f& at, float ortho = 0.0f);
    void render_low(const vec4f& eye, const vec4f& at, float ortho = 0.0f);
    // The pixel of world (x, z) in a parallel view straight down from eye.
    bool pixel_of(float x, float z, const vec4f& eye, int& px, int& py) const;
    std::vector<float> read_depth(); // rt_c as view depth, 512 where nothing was drawn
    // Height of what is drawn at world (x, z) in a parallel view straight down from eye.
    float top_height(const std::vector<float>& depth, float x, float z, const vec4f& eye);
    void save_png(const char* name, const std::vector<uint32_t>& px);
};
