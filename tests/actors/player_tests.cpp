// The real module's player, loaded as the game loads it, over a flat test world.
#include "actors/actor_module.h"
#include "platform/paths.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
class PlayerTest : public ::testing::Test {
  protected:
    fs::path dir;
    vec4f basis[3] = {make4f(1, 0, 0, 0), make4f(0, 1, 0, 0), make4f(0, 0, 1, 0)};

    void SetUp() override {
        dir = fs::path(getenv("VELTMOOR_TEST_OUT")) / ("player_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        snprintf(app_path, sizeof(app_path), "%s/", dir.c_str());
        fs::copy_file(fs::path(VELTMOOR_TEST_APP_DIR) / "actor.so", dir / "actor.so");
        for (float& h : HeightmapData::hmap) h = 5.0f;
        for (auto& row : HeightmapData::water)
            for (auto& w : row) w = HeightmapData::Water{};
        load_game_module(nullptr, nullptr);
        actor_module.init_actor();
        ASSERT_NE(local_player, nullptr);
    }
    void TearDown() override {
        actor_module.close_actor();
        unload_game_module();
        fs::remove_all(dir);
    }
    vec4f eye() {
        vec4f e;
        local_player->eyePosition(e);
        return e;
    }
    void move(float x, float y, float z, float dash = 0) {
        local_player->move(0.05f, 1.0f, make4f(x, y, z, 0), basis, dash);
    }
};
} // namespace

TEST_F(PlayerTest, NeverBelowTheGroundOrTheWater) {
    EXPECT_EQ(Player_list.num, 1);
    local_player->setPosition(make4f(10, 0, 10, 1));
    EXPECT_GE(eye().y, 5.0f + 1.0f);
    for (int i = 0; i < 10; ++i) move(0, -3, 0, 1);
    EXPECT_GE(eye().y, 5.0f + 1.0f);
    EXPECT_LT(eye().y, 5.0f + 2.0f); // rests on the ground, does not bounce up
    HeightmapData::waterAt(10, 10).depth = 3.0f;
    HeightmapData::waterAt(11, 10).depth = 3.0f;
    move(0, 0, 0);
    EXPECT_GE(eye().y, 8.0f + 1.0f);
}

TEST_F(PlayerTest, FliesGlidesAndWrapsAroundTheWorld) {
    local_player->setPosition(make4f(255.5f, 20, 100, 1));
    move(1, 0, 0, 1); // a dash: exactly the velocity
    EXPECT_NEAR(eye().x, 0.5f, 1e-4f);
    EXPECT_FLOAT_EQ(eye().z, 100.0f);
    move(0, 0, 0);
    float glided = eye().x - 0.5f;
    EXPECT_GT(glided, 0.0f); // keeps drifting a little after the keys are let go
    EXPECT_LT(glided, 1.0f);
    for (int i = 0; i < 40; ++i) move(0, 0, 0);
    vec4f still = eye();
    move(0, 0, 0);
    EXPECT_NEAR(eye().x, still.x, 1e-5f); // and comes to rest
}

TEST_F(PlayerTest, ANewWorldLiftsThePlayerClear) {
    local_player->setPosition(make4f(50, 6, 50, 1));
    local_player->beforeRegeneration();
    for (float& h : HeightmapData::hmap) h = 40.0f;
    local_player->afterRegeneration();
    EXPECT_GT(eye().y, 40.0f + 1.0f);
    actor_module.remove_all_actor(); // everything goes but the player
    EXPECT_EQ(local_player, Player_list[0]);
}
