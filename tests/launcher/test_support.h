// Helpers shared by the launcher tests: temporary folders, font images, PNG output.
#pragma once

#include "launcher/gui_renderer.h"

#include <cstdint>
#include <string>
#include <vector>

std::string make_temp_dir(const char* tag);
// Writes a top-down A8R8G8B8 image as a TGA file.
void write_test_tga(const std::string& path, const std::vector<uint32_t>& pixels, int width,
                    int height);
// A font image of 16 x 16 cells of cell x cell pixels, all empty; set_ink fills the
// columns [x0, x1) of a character's cell with opaque white over the cell's full height.
struct TestFontImage {
    int cell;
    std::vector<uint32_t> pixels;
    explicit TestFontImage(int cell_size);
    void setInk(int ch, int x0, int x1, uint32_t texel = 0xFFFFFFFF);
    std::string save(const std::string& dir, const char* name = "font.tga") const;
};
// Path of the real font in the game folder.
std::string app_font_path();
// Writes the frame buffer as an opaque PNG into $VELTMOOR_TEST_OUT; returns the path.
std::string write_frame_png(const char* name, const uint32_t* pixels, int width, int height);
