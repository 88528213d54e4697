// Shared set-up of the scene tests: a render test with the game's data files copied into
// its folder, cameras, and a world built from generators.
#pragma once

#include "core/vec4f.h"
#include "render/d3d_types.h"
#include "tests/render/render_fixture.h"

#include <string>

// Copies the shaders and scripts of data/ into the test's game folder and writes the
// generated land textures there (detail_grey: a uniform grey detail texture instead).
void install_scene_data(const std::string& dir, bool detail_grey = false);

// Camera rows (right, up, forward, position) looking from pos towards target.
Matrix44 look_at(const vec4f& pos, const vec4f& target);
// Sets the device's view and projection, vertex c0..c4 and the scene camera; returns
// the view matrix.
Matrix44 set_test_camera(const vec4f& pos, const vec4f& target, float fov_y = 1.2915436f);

// Scene tests: the device with the scene's data; closes the renderers before the device.
class SceneTest : public RenderTest {
  protected:
    void SetUp() override;
    void TearDown() override;
    void openScene(int w, int h, bool detail_grey = false);
};

bool write_png(const std::string& path, const uint32_t* argb, int w, int h);
