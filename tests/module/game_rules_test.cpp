// The game rules of the module, compiled into this program: mana, damage, castles, the
// world's goal and how monsters are found, on a flat world without a window.
#include "main.ls"

#include <gtest/gtest.h>

namespace {
constexpr float STEP = 0.05f;

class GameRules : public ::testing::Test {
  protected:
    void SetUp() override {
        HeightmapData::reset();
        game_rnd_seed = 1;
        monster_spawn = false;
        mana_cheat = false;
        demo_autopilot = false;
        init_actor();
        player()->setPosition(make4f(128.0f, 20.0f, 128.0f, 1.0f));
    }
    void TearDown() override { close_actor(); }

    static Player* player() { return static_cast<Player*>(local_player); }
    static void run(float seconds) {
        for (float t = 0.0f; t < seconds; t += STEP) update_actor(STEP);
    }
    template <typename T>
    static T* place(float x, float y, float z) {
        T* obj = spawn<T>();
        obj->pos = make4f(x, y, z, 1.0f);
        place_in_grid(obj, obj->pos, 1.0f);
        return obj;
    }
};

TEST_F(GameRules, CastingCostsManaAndNeedsEnough) {
    WizardState& w = wizard();
    const vec4f down = make4f(0.0f, -1.0f, 0.0f, 0.0f);
    ASSERT_TRUE(cast_spell(SPELL_FIREBALL, player()->pos, down));
    EXPECT_FLOAT_EQ(w.mana, MANA_START - spell_info[SPELL_FIREBALL].cost);
    EXPECT_EQ(Fireball_list.num, 1);
    EXPECT_FALSE(cast_spell(SPELL_FIREBALL, player()->pos, down)) << "still cooling down";

    w.cooldown = 0.0f;
    w.mana = 5.0f;
    EXPECT_FALSE(cast_spell(SPELL_METEOR, player()->pos, down));
    EXPECT_FLOAT_EQ(w.mana, 5.0f);
    EXPECT_EQ(MeteorMissile_list.num, 0);

    w.cooldown = 0.0f;
    mana_cheat = true;
    EXPECT_TRUE(cast_spell(SPELL_WATERBALL, player()->pos, down));
    EXPECT_FLOAT_EQ(w.mana, 5.0f);
    EXPECT_FALSE(cast_spell(SPELL_COUNT, player()->pos, down));
}

TEST_F(GameRules, ManaBallsArePickedUpNearTheWizardOnly) {
    WizardState& w = wizard();
    vec4f p = player()->pos;
    ManaBall* near = drop_mana(p, 20.0f);
    near->vel = make4f(0.0f);
    drop_mana(add4(p, make4f(30.0f, 0.0f, 0.0f, 0.0f)), 20.0f);
    update_actor(STEP);
    EXPECT_NEAR(w.mana, MANA_START + 20.0f + MANA_REGEN * STEP, 1e-3f);
    EXPECT_EQ(ManaBall_list.num, 1);
    w.mana = MANA_MAX - 1.0f;
    drop_mana(player()->pos, 20.0f)->vel = make4f(0.0f);
    update_actor(STEP);
    EXPECT_FLOAT_EQ(w.mana, MANA_MAX);
}

TEST_F(GameRules, MonstersDieOnceAndDropMana) {
    auto* wyvern = place<WyvernMonster>(60.0f, 30.0f, 60.0f);
    wyvern->damage(59.0f);
    EXPECT_FALSE(wyvern->isDestroyed());
    wyvern->damage(1.0f);
    EXPECT_TRUE(wyvern->isDestroyed());
    wyvern->damage(100.0f); // a second blow on the dying wyvern counts nothing
    EXPECT_EQ(wizard().wyverns_slain, 1);
    EXPECT_EQ(wizard().monsters_slain, 1);
    EXPECT_EQ(ManaBall_list.num, 3);
    update_actor(STEP);
    EXPECT_EQ(WyvernMonster_list.num, 0);
}

TEST_F(GameRules, FireballCratersTheLandAndHurtsAround) {
    auto* near = place<BirdMonster>(50.0f, 1.0f, 50.0f);
    auto* far = place<BirdMonster>(70.0f, 1.0f, 50.0f);
    float before = HeightmapData::target_hmap[hm_index(50, 50)];
    apply_fireball(make4f(50.0f, 0.0f, 50.0f, 1.0f), FIREBALL_RADIUS);
    EXPECT_LT(HeightmapData::target_hmap[hm_index(50, 50)], before);
    EXPECT_TRUE(near->isDestroyed());
    EXPECT_FALSE(far->isDestroyed());
    EXPECT_EQ(HeightmapData::hmap[hm_index(50, 50)], 0.0f) << "the land morphs, it does not jump";
}

TEST_F(GameRules, ShapingSpellsChangeTheLandWhereTheyLand) {
    mana_cheat = true;
    WizardState& w = wizard();
    const vec4f down = make4f(0.0f, -1.0f, 0.0f, 0.0f);
    ASSERT_TRUE(cast_spell(SPELL_HILL, player()->pos, down));
    run(2.0f);
    EXPECT_EQ(HillMissile_list.num, 0);
    EXPECT_GT(HeightmapData::target_hmap[hm_index(128, 128)], 3.0f);
    w.cooldown = 0.0f;
    ASSERT_TRUE(cast_spell(SPELL_WATER_SOURCE, make4f(90.0f, 10.0f, 90.0f, 1.0f), down));
    run(2.0f);
    EXPECT_EQ(WaterSource_list.num, 1);
    EXPECT_GT(HeightmapData::waterAt(90, 90).depth, 0.5f);
}

TEST_F(GameRules, CastlesShootTheNearestMonsterInRange) {
    CastleObject* castle = build_castle(10.0f, 100.0f);
    EXPECT_EQ(HeightmapData::surface[hm_index(10, 100)].ground_type, GT_HOUSE);
    EXPECT_FALSE(castle->shoot()) << "nothing in range";

    place<BirdMonster>(10.0f + CASTLE_RANGE + 5.0f, 5.0f, 100.0f);
    EXPECT_FALSE(castle->shoot());
    // 20 units west, across the world's seam.
    auto* close = place<WyvernMonster>(wrap_coord(10.0f - 20.0f), 5.0f, 100.0f);
    place<ManaGatherer>(10.0f, 1.0f, 100.0f + 35.0f);
    ASSERT_TRUE(castle->shoot());
    ASSERT_EQ(CastleMissile_list.num, 1);
    auto* shot = static_cast<CastleMissile*>(CastleMissile_list[0]);
    EXPECT_LT(shot->vel.x, -0.9f * CASTLE_SHOT_SPEED * 0.9f) << "at the wyvern, to the west";
    run(1.5f);
    EXPECT_LT(close->health, 60.0f);
}

TEST_F(GameRules, ACompletedWorldOpensThePortalThatMakesANewOne) {
    WizardState& w = wizard();
    EXPECT_FALSE(is_world_complete());
    for (int i = 0; i < GOAL_CASTLES; ++i) build_castle(40.0f + 40.0f * float(i), 200.0f);
    w.wyverns_slain = GOAL_WYVERNS - 1;
    update_actor(STEP);
    EXPECT_EQ(WorldPortal_list.num, 0);
    w.wyverns_slain = GOAL_WYVERNS;
    update_actor(STEP);
    ASSERT_EQ(WorldPortal_list.num, 1);
    EXPECT_TRUE(w.portal_opened);

    w.cooldown = 0.0f;
    EXPECT_TRUE(cast_spell(SPELL_USE_PORTAL, player()->pos, w.aim));
    EXPECT_EQ(w.worlds_completed, 0) << "too far from the portal";
    auto* portal = static_cast<WorldPortal*>(WorldPortal_list[0]);
    w.cooldown = 0.0f;
    EXPECT_TRUE(cast_spell(SPELL_USE_PORTAL, portal->pos, w.aim));
    EXPECT_EQ(w.worlds_completed, 1);

    remove_all_actor();
    EXPECT_EQ(CastleObject_list.num, 0);
    EXPECT_EQ(local_player, Player_list[0]);
    EXPECT_EQ(Spell_list.num, SPELL_COUNT) << "spells outlive worlds";
    EXPECT_EQ(w.wyverns_slain, 0);
    EXPECT_FALSE(is_world_complete());
}

TEST_F(GameRules, MovingMonstersAreFoundWhereTheyAreNow) {
    auto* bird = place<BirdMonster>(20.0f, 30.0f, 20.0f);
    bird->home = make4f(60.0f, 30.0f, 20.0f, 1.0f);
    run(5.0f);
    EXPECT_GT(bird->pos.x, 45.0f);
    EXPECT_EQ(nearest_near<BirdMonster>(bird->pos, 2.0f), bird);
    EXPECT_EQ(nearest_near<BirdMonster>(make4f(20.0f, 30.0f, 20.0f, 1.0f), 4.0f), nullptr);

    // A walker across the seam is still found from the other side.
    auto* g = place<ManaGatherer>(255.5f, 0.0f, 10.0f);
    g->heading = 0.0f;
    g->think = 10.0f;
    run(0.5f);
    EXPECT_LT(g->pos.x, 5.0f);
    EXPECT_EQ(nearest_near<ManaGatherer>(make4f(254.0f, 0.0f, 10.0f, 1.0f), 5.0f), g);
}

TEST_F(GameRules, KnockedOutWizardKeepsPlayingWithHalfTheMana) {
    WizardState& w = wizard();
    float y = player()->pos.y;
    hurt_player(PLAYER_HEALTH - 1.0f, "a test");
    EXPECT_FLOAT_EQ(w.mana, MANA_START);
    hurt_player(1.0f, "a test");
    EXPECT_FLOAT_EQ(w.health, PLAYER_HEALTH);
    EXPECT_FLOAT_EQ(w.mana, MANA_START * 0.5f);
    EXPECT_GT(player()->pos.y, y + KNOCKOUT_LIFT - 1.0f);
    EXPECT_EQ(game_message_count, 1);
}
} // namespace
