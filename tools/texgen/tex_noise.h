// Tileable noise and the two land textures, as 32-bit 0xAARRGGBB images with mip chains.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Value noise on a lattice of period cells that wraps; x, y in lattice units.
float periodic_noise(float x, float y, int period, uint32_t seed);
// Octaves of periodic_noise, each twice the frequency at half the weight; 0..1.
float periodic_fbm(float u, float v, int base_period, int octaves, uint32_t seed);
// Distance to the nearest of cells x cells jittered points (wrapping); u, v in 0..1.
float periodic_cells(float u, float v, int cells, uint32_t seed);

struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> px;
};

Image make_detail_texture(int size);
Image make_foam_texture(int size);
// Levels 0..n, each a box-filtered half of the previous, down to 1 x 1.
std::vector<Image> make_mip_chain(const Image& top);
// A8R8G8B8 DDS with every level.
std::vector<uint8_t> encode_dds(const std::vector<Image>& levels);
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);
