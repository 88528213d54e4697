// A busy game: 200 monsters, 50 castles shooting at them and 100 missiles in flight. The
// module's update_actor and its CPU side of render_actor, against a plain loop that only
// moves the same objects (the least any step must do), in the same process.
#include "main.ls"

#include <benchmark/benchmark.h>

namespace {
constexpr float STEP = 0.05f;
constexpr int MONSTERS = 200;
constexpr int CASTLES = 50;
constexpr int MISSILES = 100;

void build_scene() {
    close_actor();
    HeightmapData::reset();
    game_rnd_seed = 7;
    HeightmapData::makeFastNoise(HeightmapData::hmap, 12.0f, 0.5f);
    for (int i = 0; i < HMAP_CELLS; ++i) HeightmapData::target_hmap[i] = HeightmapData::hmap[i];
    monster_spawn = false;
    init_actor();
    local_player->setPosition(make4f(128.0f, 40.0f, 128.0f, 1.0f));
    for (int i = 0; i < CASTLES; ++i)
        build_castle(float(i % 8) * 32.0f + 8.0f, float(i / 8) * 40.0f)->health = 1e9f;
    for (int i = 0; i < MONSTERS; ++i) {
        int kind = i % 5 == 0 ? MONSTER_WYVERN : (i % 5 < 3 ? MONSTER_BIRDS : MONSTER_GATHERER);
        if (kind == MONSTER_BIRDS) {
            auto* b = spawn<BirdMonster>();
            b->flock = i / 16;
            b->home = make4f(rnd_float() * 256.0f, 30.0f, rnd_float() * 256.0f, 1.0f);
            b->pos = add4(b->home, make4f(rnd_range(-5, 5), 0.0f, rnd_range(-5, 5), 0.0f));
            b->pos.x = wrap_coord(b->pos.x);
            b->pos.z = wrap_coord(b->pos.z);
            b->health = 1e9f; // the load stays the same while castles shoot
        } else {
            spawn_monster(kind);
        }
    }
    for (BaseObject* obj : Actor_list)
        if (auto* m = dynamic_cast<Monster*>(obj)) m->health = 1e9f;
    // Missiles high over the land that fly round the world without landing.
    for (int i = 0; i < MISSILES; ++i) {
        auto* f = spawn<Fireball>();
        f->max_age = 1e9f;
        f->gravity = 0.0f;
        f->launch(make4f(rnd_float() * 256.0f, 200.0f, rnd_float() * 256.0f, 1.0f),
                  make4f(rnd_range(-30, 30), 0.0f, rnd_range(-30, 30), 0.0f));
    }
    for (int i = 0; i < 40; ++i) update_actor(STEP); // castles find their targets
}

void BM_PlainMoveLoop(benchmark::State& state) {
    build_scene();
    for (auto _ : state) {
        for (BaseObject* obj : Actor_list) {
            auto* a = static_cast<Actor*>(obj);
            a->pos.x = wrap_coord(a->pos.x + 0.1f);
            a->pos.z = wrap_coord(a->pos.z + 0.1f);
        }
        benchmark::ClobberMemory();
    }
    state.counters["objects"] = double(Actor_list.num);
    close_actor();
}
BENCHMARK(BM_PlainMoveLoop)->Unit(benchmark::kMicrosecond);

void BM_UpdateActor(benchmark::State& state) {
    build_scene();
    for (auto _ : state) update_actor(STEP);
    state.counters["objects"] = double(Actor_list.num);
    state.counters["castles"] = double(CastleObject_list.num);
    state.counters["missiles"] = double(Fireball_list.num + CastleMissile_list.num);
    close_actor();
}
BENCHMARK(BM_UpdateActor)->Unit(benchmark::kMicrosecond);

// A view from the wizard along +z: 74 degrees, 16:9, as the game's camera.
Matrix44 wizard_view_projection() {
    const vec4f eye = player_position();
    const float n = 0.1f, f = 1000.0f, ys = 1.0f / tanf(0.5f * 1.2915436f), xs = ys * 9.0f / 16.0f;
    const float q = f / (f - n);
    Matrix44 m{};
    m.m[0][0] = xs;
    m.m[1][1] = ys;
    m.m[2][2] = q;
    m.m[2][3] = 1.0f;
    m.m[3][0] = -eye.x * xs;
    m.m[3][1] = -eye.y * ys;
    m.m[3][2] = -eye.z * q - n * q;
    m.m[3][3] = -eye.z;
    return m;
}

// What render_actor and render_actor_shadow cost the CPU each frame.
void BM_RenderActorCpu(benchmark::State& state) {
    build_scene();
    const Matrix44 view = wizard_view_projection();
    const vec4f sun = norm3(make4f(0.3f, 0.8f, 0.2f, 0.0f));
    for (auto _ : state) {
        reset_shadow_bins(view, player_position(), sun);
        render_actor(0.0f);
        render_actor_shadow(0.0f);
    }
    state.counters["objects"] = double(Actor_list.num);
    state.counters["shadows"] = double(shadow_balls.num);
    close_actor();
}
BENCHMARK(BM_RenderActorCpu)->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
