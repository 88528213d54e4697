// CPU cost of a frame's instanced objects: 2,000 house tiles over the 19 building
// renderers and 500 monster parts over the 7 others, appended and issued (fill and draw
// calls; the GPU is waited for outside the timing). Baseline in the same run: the same
// records copied into the dynamic buffer and drawn with the same states by hand, one draw
// per renderer, with no instance lists. Arg 1: the game's meshes; arg 0: one-triangle
// meshes of the same layouts, so that a software driver's vertex shading (which runs on
// the CPU inside the draw call) does not hide the cost of filling and issuing.
#include "platform/paths.h"
#include "render/buffers.h"
#include "render/device.h"
#include "render/mesh.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "scene/heightmap_renderer.h"
#include "scene/objects/buildings.h"
#include "scene/objects/inst_render.h"
#include "tools/meshgen/mesh_writer.h"
#include "tools/texgen/tex_noise.h"
#include "world/heightmap.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

bool isFullscreen = false;
void render_game_frame(float) {}

namespace {
using namespace HeightmapData;
using HR = HeightmapRenderer;

SimpleInstRender* const SIMPLE[] = {&stone1_inst, &gatherer_eye_inst, &wyvern_head_inst,
                                    &wyvern_tail_inst};
MorphInstRender* const MORPH[] = {&bird_body_inst, &gatherer_body_inst};

struct Device {
    SDL_Window* w = nullptr;
    bool ok = false;
    Device() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("VELTMOOR_NO_DIALOGS", "1", 0);
        std::string dir = "/tmp/veltmoor_inst_bench_XXXXXX";
        if (!mkdtemp(dir.data())) return;
        dir += "/";
        snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
        mkdir((dir + "cache").c_str(), 0755);
        for (const char* f :
             {"inst_common.inc", "sky_common.inc", "gbuffer_common.inc", "inst_building.sh",
              "inst_simple.sh", "inst_morph.sh", "inst_spline.sh"}) {
            FILE* in = fopen((std::string(VELTMOOR_DATA_DIR) + "/" + f).c_str(), "rb");
            FILE* out = fopen((dir + f).c_str(), "wb");
            if (!in || !out) return;
            char buf[4096];
            size_t n;
            while ((n = fread(buf, 1, sizeof(buf), in)) > 0) fwrite(buf, 1, n, out);
            fclose(in);
            fclose(out);
        }
        if (!write_file(dir + "detail.dds", encode_dds(make_mip_chain(make_detail_texture(64)))))
            return;
        for (const std::string& name : model_names())
            if (!write_mesh_file(dir + name, make_model(name))) return;
        if (SDL_Init(SDL_INIT_VIDEO) != 0) return;
        w = SDL_CreateWindow("bench", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        app_use_vsync = false;
        if (!w || !init_d3d(w, 64, 64)) return;
        for (const std::string& name : model_names()) {
            MeshModel m = make_model(name);
            m.verts.resize(3);
            m.indices = {0, 1, 2};
            if (!write_mesh_file(dir + "tiny_" + name, m)) return;
        }
        common_vb_writer.create(COMMON_VB_SIZE);
        HR::high_quality = false;
        for (int i = 0; i < HMAP_CELLS; ++i) {
            HR::curh[i] = 2.0f;
            surface[i].ground_type = GT_HOUSE;
            surface[i].tile = unsigned(i % 19);
            surface[i].tile_rot = unsigned(i % 8);
        }
        ok = true;
    }
};

Device& device() {
    static Device d;
    return d;
}

void init_renderers(bool full) {
    const std::string pre = full ? "" : "tiny_";
    const std::vector<std::string> names = model_names();
    for (int i = 0; i < HR::num_house_tiles; ++i)
        HR::house_tile_info[i].inst->init((pre + names[size_t(i)]).c_str());
    for (SimpleInstRender* r : SIMPLE) r->init((pre + "stone1.mesh").c_str());
    for (MorphInstRender* r : MORPH) r->init((pre + "bird_body.mesh").c_str());
    wyvern_body_inst.init((pre + "wyvern_body.mesh").c_str());
}

// The frame's records as the module would produce them.
void fill_frame() {
    for (int i = 0; i < 2000; ++i) add_house_cell(&surface[i * 7], (i * 7) & 255, (i * 7) >> 8);
    SimpleInstance s = {
        {pack_inst_row(1, 0, 0, 1), pack_inst_row(0, 1, 0, 1), pack_inst_row(0, 0, 1, 1)},
        {0, 0, 0},
        0xFF808080u};
    for (int i = 0; i < 500; ++i) {
        s.pos[0] = float(i);
        if (i % 7 < 4) {
            SIMPLE[i % 7]->addInstance(&s);
        } else if (i % 7 < 6) {
            MorphInstance m = {s, 0x00008000u};
            MORPH[i % 7 - 4]->addInstance(&m);
        } else {
            SplineInstance p = {};
            p.p[3][2] = 4.0f;
            p.color[1] = 0x00202000u;
            wyvern_body_inst.addInstance(&p);
        }
    }
}

void all_renderers(void (*f)(InstRender*)) {
    for (int i = 0; i < HR::num_house_tiles; ++i) f(HR::house_tile_info[i].inst);
    for (InstRender* r : SIMPLE) f(r);
    for (InstRender* r : MORPH) f(r);
    f(&wyvern_body_inst);
}

void BM_InstancedFrame(benchmark::State& state) {
    if (!device().ok) {
        state.SkipWithError("no device");
        return;
    }
    init_renderers(state.range(0) != 0);
    set_cull_mode(1);
    for (auto _ : state) {
        inst_render_stats = InstRenderStats();
        fill_frame();
        all_renderers([](InstRender* r) { r->render(); });
        state.PauseTiming();
        flush_gpu();
        state.ResumeTiming();
    }
    state.counters["draws"] = inst_render_stats.draws;
    state.counters["instances"] = inst_render_stats.instances;
}
BENCHMARK(BM_InstancedFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The appending alone: what the module's render pass costs before anything is issued.
void BM_FillOnly(benchmark::State& state) {
    if (!device().ok) {
        state.SkipWithError("no device");
        return;
    }
    init_renderers(false);
    for (auto _ : state) {
        fill_frame();
        all_renderers([](InstRender* r) { r->clearInstances(); });
    }
}
BENCHMARK(BM_FillOnly)->Unit(benchmark::kMicrosecond);

// The same records in flat arrays, one copy and one draw per renderer.
void BM_BareDrawsBaseline(benchmark::State& state) {
    if (!device().ok) {
        state.SkipWithError("no device");
        return;
    }
    init_renderers(state.range(0) != 0);
    // Records prepared once, as a lower bound on filling them.
    fill_frame();
    static std::vector<uint8_t> recs[26];
    static InstRender* rs[26];
    static int n;
    n = 0;
    all_renderers([](InstRender* r) {
        rs[n] = r;
        recs[n].clear();
        for (const InstBlock* b = r->head; b; b = b->next)
            recs[n].insert(recs[n].end(), b->records, b->records + b->bytes);
        r->clearInstances();
        ++n;
    });
    for (auto _ : state) {
        for (int i = 0; i < n; ++i) {
            InstRender* r = rs[i];
            set_vertex_decl(r->vdecl);
            set_ib(r->mesh->ib);
            set_shader(r->shader);
            bind_texture(0, r->texture);
            set_vb(0, r->mesh->vb, 0, r->mesh->stride);
            void* p = lock_vb(common_vb_writer.vb, 0, 0);
            memcpy(p, recs[i].data(), recs[i].size());
            unlock_vb(common_vb_writer.vb);
            const int stride = r->instanceStride();
            set_vb(1, common_vb_writer.vb, 0, stride);
            set_instancing(int(recs[i].size()) / stride);
            draw_indexed(PRIM_TRIANGLELIST, 0, 0, r->mesh->num_verts, 0, r->mesh->num_tris);
        }
        set_instancing(0);
        state.PauseTiming();
        flush_gpu();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BareDrawsBaseline)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
