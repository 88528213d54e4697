// Per-frame CPU cost of a GUI screen: the rounded boxes of a menu-sized screen added to a
// batch, against adding the same bytes unformatted (the batch's own cost), and the lazy
// restyle every frame runs, against a forced one.
#include "gui/gui.h"

#include <benchmark/benchmark.h>
#include <cstring>

namespace {
const int BOXES = 64;

vec4f box_rect(int i) {
    float x = float(i % 8) * 150.0f, y = float(i / 8) * 80.0f;
    return make4f(x, y, x + 140.0f, y + 70.0f);
}

void BM_BatchBytesBaseline(benchmark::State& state) {
    RenderBatch batch;
    StdRenderBatchState st;
    for (auto _ : state) {
        for (int i = 0; i < BOXES; ++i) {
            void* p = batch.add(&st, box_rect(i), 6 * int(sizeof(RoundedBoxVertex)), 2);
            memset(p, i, 6 * sizeof(RoundedBoxVertex));
        }
        benchmark::DoNotOptimize(batch.groups.items);
        batch.clear();
    }
}
BENCHMARK(BM_BatchBytesBaseline);

void BM_RoundedBoxes(benchmark::State& state) {
    RenderBatch batch;
    for (auto _ : state) {
        for (int i = 0; i < BOXES; ++i)
            render_rounded_box(batch, box_rect(i), make4f(10), 0xFF2B3D57, 1, 0, 4, 8, 0x90000000,
                               0);
        benchmark::DoNotOptimize(batch.groups.items);
        batch.clear();
    }
}
BENCHMARK(BM_RoundedBoxes);

struct ClassSel : GuiSelector {
    int cls, states;
    ClassSel(int c, int s) : cls(c), states(s) {}
    bool matches(NewGuiElement* e) override {
        return (e->children.num % 3) == cls && (!states || e->getBool(GUI_PROP_HOVER));
    }
    int specificity() override { return 1 + 10 * states; }
};

// A screen-sized tree (a root, 6 panels of 10 elements) under a 12-sheet style.
struct Screen {
    GuiStyle style;
    NewGuiElement root;
    Screen() {
        register_std_behaviors();
        for (int s = 0; s < 12; ++s)
            style.addSheet(new ClassSel(s % 3, s / 6),
                           gui_props(new GuiProperty<unsigned>(s % 8, unsigned(s)),
                                     new GuiProperty<float>(8 + s % 8, float(s))));
        for (int p = 0; p < 6; ++p) {
            NewGuiElement* panel = root.addChild(new NewGuiElement);
            for (int i = 0; i < 10; ++i) panel->addChild(new NewGuiElement);
        }
        style.restyle(&root, true);
    }
};

void BM_RestyleForcedBaseline(benchmark::State& state) {
    Screen s;
    for (auto _ : state) s.style.restyle(&s.root, true);
}
BENCHMARK(BM_RestyleForcedBaseline);

void BM_RestyleLazyOneHover(benchmark::State& state) {
    Screen s;
    NewGuiElement* e = s.root.children[2]->children[4];
    bool h = false;
    for (auto _ : state) {
        e->setBool(GUI_PROP_HOVER, h = !h); // what a mouse move over a button does
        s.style.restyle(&s.root, false);
    }
}
BENCHMARK(BM_RestyleLazyOneHover);
} // namespace

BENCHMARK_MAIN();
