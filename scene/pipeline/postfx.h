// The full post-effect chain on top of the scene image: morphological anti-aliasing in
// the four screen targets (roles swapped by pointer) and the final screen effect with the
// frame colour, written to the back buffer.
#pragma once

// init_postfx (the screen targets and the plain copy) plus the MLAA and effect shaders.
void init_postfx_high();
void close_postfx_high(); // also calls close_postfx

// Wireframe off, MLAA when use_ppaa, then the copy to the back buffer: "postfx_main.sh"
// on the high path with use_postfx and no wireframe, otherwise a plain copy (without a
// draw where the device can; "postfx_none.sh" where it cannot).
void apply_postfx_high();

// Edge, 2 run and combine passes; afterwards scene_tex holds the result, rt_c the
// edges and rt_d the runs (left, right, up, down as count / 255) at the pixels with an
// edge. Uses the depth-stencil buffer: the edge pixels are left with stencil bit 4.
void run_mlaa();

extern int postfx_main_uses; // frames that used the screen effect since start
extern int mlaa_passes;      // full-screen passes of the last run_mlaa
