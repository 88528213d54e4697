// The particle atlases "blendfx.dds" and "glowfx.dds" (512 x 256). Sprite places are in
// atlas pixels (x, y, size); the effect script addresses them by the same numbers.
//
// blendfx (colour shading, alpha density): smoke puffs at (0|128|256|384, 0, 128); soft
// blob (0, 128, 128); splash (128, 128, 128); droplet (256, 128, 64); debris chunk
// (320, 128, 64); bubble (256, 192, 64); soft dot (320, 192, 64); smoke ring (384, 128, 128).
//
// glowfx (white, alpha intensity): trail ribbon, rows 0..63 over the whole width (head
// bright at u 0, fading to u 1); trail head glow (0, 64, 64); hot point (64, 64, 64);
// spark star (128, 64, 64); thin ring (192, 64, 64); flame tongues (256|320|384|448, 64,
// 64); halo (0, 128, 128); shock ring (128, 128, 128); flare (256, 128, 128); fireball
// (384, 128, 128).
#pragma once

#include "tools/texgen/tex_noise.h"

Image make_blend_atlas();
Image make_glow_atlas();
