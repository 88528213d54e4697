// House cells through the game's building renderers, the instanced draws of a frame and
// the shadow balls of the buildings drawn.

namespace {
struct DrawnCell {
    const HeightmapData::Surface* s;
    int x, z;
};
// Cells reported this frame, and the ones drawn last (their shadows come after the draw).
// The land window holds at most 256 x 256 cells, each reported once a frame.
constexpr int MAX_DRAWN_CELLS = 65536;
DrawnCell drawn_cells[2][MAX_DRAWN_CELLS];
int drawn_count[2] = {0, 0};
int drawn_cur = 0;

const char* const house_meshes[19] = {
    "roof_corner.mesh",   "tower_corner.mesh",   "tower_wall1.mesh",    "tower_wall2.mesh",
    "castle_walk.mesh",   "merlon_top.mesh",     "merlon_corner.mesh",  "merlon_wall1.mesh",
    "merlon_wall2.mesh",  "castle_wall1.mesh",   "castle_wall2.mesh",   "castle_wall3.mesh",
    "castle_wall4.mesh",  "castle_slant1.mesh",  "castle_slant2.mesh",  "castle_slant3.mesh",
    "castle_slant4.mesh", "castle_corner1.mesh", "castle_corner2.mesh",
};

InstRender* const object_renderers[] = {&stone1_inst,      &gatherer_eye_inst, &wyvern_head_inst,
                                        &wyvern_tail_inst, &bird_body_inst,    &gatherer_body_inst,
                                        &wyvern_body_inst};
} // namespace

void init_inst_render() {
    init_inst_render_internals();
    for (int i = 0; i < HeightmapRenderer::num_house_tiles; ++i)
        HeightmapRenderer::house_tile_info[i].inst->init(house_meshes[i]);
    stone1_inst.init("stone1.mesh");
    gatherer_eye_inst.init("gatherer_eye.mesh");
    wyvern_head_inst.init("wyvern_head.mesh");
    wyvern_tail_inst.init("wyvern_tail.mesh");
    bird_body_inst.init("bird_body.mesh");
    gatherer_body_inst.init("gatherer_body.mesh");
    wyvern_body_inst.init("wyvern_body.mesh");
}

void render_building(const HeightmapData::Surface* s, int x, int z) {
    if (int(s->tile) >= HeightmapRenderer::num_house_tiles) return;
    BuildingInstance b;
    if (!make_building_instance(s, x, z, b)) return;
    HeightmapRenderer::house_tile_info[s->tile].inst->addInstance(&b);
    if (drawn_count[drawn_cur] < MAX_DRAWN_CELLS)
        drawn_cells[drawn_cur][drawn_count[drawn_cur]++] = DrawnCell{s, x, z};
}

void do_inst_render() {
    for (int i = 0; i < HeightmapRenderer::num_house_tiles; ++i)
        HeightmapRenderer::house_tile_info[i].inst->render();
    for (InstRender* r : object_renderers) r->render();
    // What was drawn now casts the shadows of this frame; the next frame starts afresh.
    drawn_cur ^= 1;
    drawn_count[drawn_cur] = 0;
}

void render_building_shadows() {
    const int last = drawn_cur ^ 1;
    for (int i = 0; i < drawn_count[last]; ++i) {
        const DrawnCell& c = drawn_cells[last][i];
        HeightmapRenderer::house_tile_info[c.s->tile].inst->renderShadowBalls(
            house_cell_tm(c.s, c.x, c.z), 1.0f);
    }
}
