// The game rules of the module, compiled into this program: mana, damage, castles, the
// world's goal and how monsters are found, on a flat world without a window.
#include "main.ls"
#include "platform/input.h"

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

TEST_F(GameRules, AClickShorterThanAStepStillCasts) {
    isAppActive = true;
    queue_input_event(INPUT_BUTTON_DOWN, VK_LBUTTON, 0, 0, 10, 10);
    queue_input_event(INPUT_BUTTON_UP, VK_LBUTTON, 0, 0, 10, 10);
    wizard_play_input(STEP);
    reset_input();
    EXPECT_EQ(Fireball_list.num, 1) << "let go before the step looked";
    wizard().cooldown = 0.0f;
    wizard_play_input(STEP);
    EXPECT_EQ(Fireball_list.num, 1) << "one click, one cast";
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
    const int slain = wizard().wyverns_slain;
    run(1.5f);
    // The shots may kill it, and a dead monster is deleted: only a listed one is read.
    bool listed = false;
    for (int i = 0; i < WyvernMonster_list.num; ++i) listed |= WyvernMonster_list[i] == close;
    if (listed)
        EXPECT_LT(close->health, 60.0f);
    else
        EXPECT_EQ(wizard().wyverns_slain, slain + 1);
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
// Rows of a rotation come packed as bytes: v x 0.5 + 0.5.
float row_axis(uint32_t row, int axis) {
    return float(row >> (16 - 8 * axis) & 255u) / 255.0f * 2.0f - 1.0f;
}
template <typename T>
const T* records(const InstRender& r) {
    return r.head ? reinterpret_cast<const T*>(r.head->records) : nullptr;
}

TEST_F(GameRules, CreaturesDrawAsMeshesFacingTheirWay) {
    InstRender* const all[] = {&stone1_inst,      &gatherer_eye_inst, &wyvern_head_inst,
                               &wyvern_tail_inst, &bird_body_inst,    &gatherer_body_inst,
                               &wyvern_body_inst};
    // A wyvern flying +x just past the seam, its trail behind it across the seam.
    auto* w = place<WyvernMonster>(1.0f, 30.0f, 128.0f);
    w->vel = make4f(WYVERN_SPEED, 0.0f, 0.0f, 0.0f);
    for (int i = 0; i < WYVERN_BODY; ++i)
        w->body[i] = make4f(wrap_coord(1.0f - 0.9f * float(i)), 30.0f, 128.0f, 1.0f);
    auto* b = place<BirdMonster>(128.0f, 30.0f, 140.0f);
    b->vel = make4f(0.0f, 0.0f, BIRD_SPEED, 0.0f);
    b->wing = 0.1f;
    auto* g = place<ManaGatherer>(120.0f, 0.8f, 128.0f);
    g->heading = 0.0f;
    auto* s = place<Stone1StaticObject>(135.0f, 0.0f, 120.0f);
    for (Actor* a : {static_cast<Actor*>(w), static_cast<Actor*>(b), static_cast<Actor*>(g),
                     static_cast<Actor*>(s)})
        a->render(0.0f);

    ASSERT_EQ(wyvern_head_inst.instanceCount(), 1);
    ASSERT_EQ(wyvern_tail_inst.instanceCount(), 1);
    ASSERT_EQ(wyvern_body_inst.instanceCount(), WYVERN_BODY - 1);
    const SimpleInstance* head = records<SimpleInstance>(wyvern_head_inst);
    EXPECT_FLOAT_EQ(head->pos[0], 1.0f) << "the copy nearest the eye";
    EXPECT_GT(row_axis(head->row[2], 0), 0.95f) << "the head looks along its flight";
    EXPECT_GT(row_axis(head->row[1], 1), 0.95f) << "and keeps its top up";
    const SplineInstance* seg = records<SplineInstance>(wyvern_body_inst);
    EXPECT_FLOAT_EQ(seg[0].p[0][0], 1.0f);
    for (int i = 0; i + 1 < WYVERN_BODY - 1; ++i) {
        // One tube: each piece starts where the last ends, with the same tangent.
        EXPECT_FLOAT_EQ(seg[i].p[3][0], seg[i + 1].p[0][0]);
        EXPECT_NEAR(seg[i].p[3][0] - seg[i].p[2][0], seg[i + 1].p[1][0] - seg[i + 1].p[0][0],
                    1e-4f);
        EXPECT_LT(seg[i + 1].p[0][0], seg[i].p[0][0]) << "the trail does not jump the seam";
    }
    const SimpleInstance* tail = records<SimpleInstance>(wyvern_tail_inst);
    EXPECT_NEAR(tail->pos[0], 1.0f - 0.9f * float(WYVERN_BODY - 1), 1e-4f);
    EXPECT_LT(row_axis(tail->row[2], 0), -0.95f) << "the tail trails behind";

    const MorphInstance* bird = records<MorphInstance>(bird_body_inst);
    ASSERT_NE(bird, nullptr);
    EXPECT_GT(row_axis(bird->base.row[2], 2), 0.95f);
    const uint32_t beat = bird->morph >> 8 & 255u;
    bird_body_inst.clearInstances();
    b->wing += 0.1f;
    b->render(0.0f);
    EXPECT_NE(records<MorphInstance>(bird_body_inst)->morph >> 8 & 255u, beat) << "wings beat";

    const MorphInstance* body = records<MorphInstance>(gatherer_body_inst);
    const SimpleInstance* eye = records<SimpleInstance>(gatherer_eye_inst);
    ASSERT_TRUE(body && eye);
    EXPECT_NEAR(body->base.pos[1], 0.0f, 1e-4f) << "standing on the ground";
    EXPECT_GT(eye->pos[0], body->base.pos[0]) << "the eye looks where it walks";
    EXPECT_GT(eye->pos[1], body->base.pos[1]);

    ASSERT_EQ(stone1_inst.instanceCount(), 1);
    SimpleInstance stone = *records<SimpleInstance>(stone1_inst);
    stone1_inst.clearInstances();
    s->render(0.0f);
    EXPECT_EQ(memcmp(&stone, records<SimpleInstance>(stone1_inst), sizeof stone), 0)
        << "a stone keeps its turn from frame to frame";
    EXPECT_GT(row_axis(stone.row[1], 1), 0.95f) << "upright on flat land";
    for (InstRender* r : all) r->clearInstances();
}
} // namespace
