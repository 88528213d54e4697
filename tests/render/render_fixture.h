// A hidden window with the device open, and the game folder in a fresh temporary folder.
#pragma once

#include "platform/paths.h"
#include "render/device.h"
#include "render/device_internal.h"
#include "render/textures.h"

#include <SDL.h>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

class RenderTest : public ::testing::Test {
  protected:
    SDL_Window* window = nullptr;
    std::string dir; // with a trailing '/'

    void SetUp() override { open(64, 64); }
    void TearDown() override;
    void open(int w, int h);

    void writeFile(const char* name, const std::string& text);
    void setFileTime(const char* name, int64_t time);
    std::string path(const char* name) const { return dir + name; }
    // Writes a shader file and loads it.
    struct Shader* loadShader(const char* name, const char* text);

    // Pixels as 0xAARRGGBB, row 0 at the top of the image.
    std::vector<uint32_t> readTexture(Texture* tex);
    std::vector<uint32_t> readBackBuffer();
};

// A shader that draws its vertex colour: float3 position + colour, stride 16.
extern const char* COLOR_SHADER;
// A shader that draws pixel register c0.
extern const char* CONST_SHADER;

struct ColorVertex {
    float x, y, z;
    uint32_t color;
};

// Draws a triangle list from memory through a dynamic buffer with the colour shader.
void draw_color_tris(const ColorVertex* v, int count);
