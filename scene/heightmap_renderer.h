// Land, water and the distant horizon ring of the wrapping world, drawn in a 256 x 256
// window of cells centred on the camera. Heights and colours go to the GPU once per
// simulation step; normals and sky-visibility maps are computed there (the slowly changing
// sky visibility a band of rows per step); every frame interpolates between the last two
// steps and rebuilds the meshes around the camera.
#pragma once

#include "platform/game_export.h"

#include "core/vec4f.h"
#include "render/d3d_types.h"
#include "world/heightmap.h"

class BuildingInstRender;
struct Texture;
struct GpuBuffer;
struct VertexDecl;
struct Shader;

// Called for every house cell in view with its unwrapped world coordinates; the
// game-object module's building renderer is wired here. Defaults to a no-op.
extern void (*scene_render_building)(const HeightmapData::Surface* s, int x, int z);

extern int land_shadow_quality; // 0..2: which aperture variant the high path uses

class HeightmapRenderer {
  public:
    struct HouseTileInfo {
        BuildingInstRender* inst;
    };
    GAME_EXPORT static HouseTileInfo house_tile_info[19];
    GAME_EXPORT static int num_house_tiles; // letters 'a'..'s' of the house templates

    // Display arrays of this frame, indexed like HeightmapData::hmap.
    alignas(64) static float curh[HMAP_CELLS];
    alignas(64) static float curw[HMAP_CELLS];

    // Water texture-coordinate layers (layer A in x, y; layer B in z, w), high path only.
    alignas(64) static vec4f water_uv[2][HMAP_CELLS];
    static int uv_cur, uv_cycle;
    // The ripples' own random state: drawing from the game's would make the graphics
    // quality change how the game plays.
    static uint64_t uv_rnd;
    GAME_EXPORT static bool land_dirty;
    static int seen_reset_count; // d3d_reset_count when the textures were last filled
    static bool high_quality;

    // Window of this frame: camera cell and origin.
    static int cam_cx, cam_cz, win_ox, win_oz;
    static int near_count, far_triangles, water_quads, horizon_quads;

    static Texture* height_tex;
    static Texture* color_tex;
    static Texture* surf_color_tex;
    // Previous and current map the land derives its normals from: the height gradient, one
    // texel per cell (high path); the filtered gradient and the sky visibility, two texels per
    // cell (low path).
    static Texture* norm_tex[2];
    static Texture* aper_tex[2];
    static Texture* aper_view_tex;
    static Texture* detail_tex;
    static Texture* foam_tex;

    static void init(int gfx_quality); // 0 low (forward), 1 high (deferred)
    static void close();
    // The world changed outside a simulation step (a new world, erosion, a spell): the next
    // frame recomputes the sky visibility whole, not a band per step.
    GAME_EXPORT static void markDirty();
    static void stepUpdate(float dt);
    static void frameUpdate(float since_step);
    static void renderLand();
    static void renderWater(float t);
    static void renderHorizon();

    static void loadHeights(int x0, int z0, int nx, int nz);
    static void loadColors(int x0, int z0, int nx, int nz);
    static void calcNormals(int x0, int z0, int nx, int nz);
    // High path: the aperture pair swaps and the new current map is the old one with the
    // region recomputed.
    static void calcAperture(int x0, int z0, int nx, int nz);
    // Low path: recomputes the sky visibility of the region in the current normal map (after
    // calcNormals, which carries the previous map's over).
    static void calcVisibility(int x0, int z0, int nx, int nz);
    // Between world changes each rebuild of the maps (the first frame after a step)
    // recomputes the sky visibility of one band of HMAP_SIZE / MAP_SLICES rows, band
    // next_slice: a change shows whole within MAP_SLICES rebuilds, blended in like any other.
    static constexpr int MAP_SLICES = 8;
    static int next_slice;
    static void interpTexture(Texture* target, Texture* prev, Texture* cur, float t, int size);

    // The CPU halves of frameUpdate, usable without a device (tests, benchmarks).
    static void setWindow(const vec4f& cam_pos); // also shows every block again
    // Hides the window's 8 x 8-cell blocks that lie wholly outside the view volume of glob
    // (view x projection) from the land, near-patch and water meshes, and the horizon
    // ring's 16 x 16-quad blocks likewise; needs curh and curw.
    static void cullBlocks(const Matrix44& glob);
    static int visible_blocks;         // of 32 x 32, after cullBlocks
    static int visible_horizon_blocks; // of 12 x 12 blocks of the horizon ring
    // Draws far land blocks whose cells cover less than coarse_cell_pixels of a wd x ht
    // screen through glob at every second vertex, and near cells in blocks whose cells cover
    // less than patch_cell_pixels as plain quads of the far grid instead of patches (after
    // cullBlocks; setWindow undoes both).
    static void chooseLevels(const Matrix44& glob, float wd, float ht);
    static float coarse_cell_pixels; // 0: every far block fine
    static float patch_cell_pixels;  // 0: every near cell a patch
    static int coarse_blocks, plain_near_blocks;
    static void fillNearInstances(void* dst);  // 4096 x 20 bytes at most
    static void fillLandVertices(void* dst);   // 65536 x 8 bytes
    static int fillLandIndices(uint16_t* dst); // returns triangles
    static void updateWaterDepth(float t);     // curw
    static void fillHorizonVertices(void* dst, const vec4f& cam_pos);
    static void fillWaterVertices(void* dst, float t);
    static int fillWaterIndices(uint16_t* dst); // returns quads
    static int buildHorizonIndices(uint16_t* dst);
    static void reseedLayer(int buf, int layer);
    static float layerBWeight(float t); // pixel c12.x of the high-path water
};

// Sizes of the renderer's buffers.
enum {
    NEAR_INSTANCES = 4096,
    LAND_IB_INDICES = 365574,
    HORIZON_SIZE = 192,
    HORIZON_IB_INDICES = 218886,
    WATER_IB_INDICES = 390150,
};
