// The module's classes. Until the gameplay arrives they exist with their lists, their
// constructors and the shared destroy path; behaviour comes class by class.

#define MODULE_ACTOR_CLASS(cls, base, group)                                                       \
    class cls : public base {                                                                      \
      public:                                                                                      \
        const char* className() override { return #cls; }                                          \
        ObjectList* groupList() override { return group; }                                         \
        static ObjectList* ownList() { return &cls##_list; }                                       \
    };

// Abstract kinds without lists of their own.
class Missile : public Actor {
  public:
    vec4f vel = make4f(0.0f);
    const char* className() override { return "Missile"; }
};
class Monster : public Actor {
  public:
    float health = 1.0f;
    const char* className() override { return "Monster"; }
};
class StaticObject : public Actor {
  public:
    const char* className() override { return "StaticObject"; }
};
class WaterGlobe : public Actor {
  public:
    const char* className() override { return "WaterGlobe"; }
};
class Explosion : public Actor {
  public:
    const char* className() override { return "Explosion"; }
};

MODULE_ACTOR_CLASS(WaterSource, Actor, &Actor_list)
MODULE_ACTOR_CLASS(Fireball, Missile, &Actor_list)
MODULE_ACTOR_CLASS(Waterball, Missile, &Actor_list)
MODULE_ACTOR_CLASS(FaultMissile, Missile, &Actor_list)
MODULE_ACTOR_CLASS(HouseMissile, Missile, &Actor_list)
MODULE_ACTOR_CLASS(MeteorMissile, Missile, &Actor_list)
MODULE_ACTOR_CLASS(HillMissile, Missile, &Actor_list)
MODULE_ACTOR_CLASS(PitMissile, Missile, &Actor_list)
MODULE_ACTOR_CLASS(WaterSourceMissile, Missile, &Actor_list)
MODULE_ACTOR_CLASS(WaterSinkMissile, Missile, &Actor_list)
MODULE_ACTOR_CLASS(Spell, Actor, &Spell_list)
MODULE_ACTOR_CLASS(FireballSpell, Spell, &Spell_list)
MODULE_ACTOR_CLASS(WaterballSpell, Spell, &Spell_list)
MODULE_ACTOR_CLASS(FaultSpell, Spell, &Spell_list)
MODULE_ACTOR_CLASS(HouseSpell, Spell, &Spell_list)
MODULE_ACTOR_CLASS(MeteorSpell, Spell, &Spell_list)
MODULE_ACTOR_CLASS(HillSpell, Spell, &Spell_list)
MODULE_ACTOR_CLASS(PitSpell, Spell, &Spell_list)
MODULE_ACTOR_CLASS(WaterSourceSpell, Spell, &Spell_list)
MODULE_ACTOR_CLASS(WaterSinkSpell, Spell, &Spell_list)
MODULE_ACTOR_CLASS(WyvernMonster, Monster, &Actor_list)
MODULE_ACTOR_CLASS(Stone1StaticObject, StaticObject, &Actor_list)
MODULE_ACTOR_CLASS(ManaGatherer, StaticObject, &Actor_list)
MODULE_ACTOR_CLASS(CastleObject, StaticObject, &Actor_list)
MODULE_ACTOR_CLASS(CastleMissile, Missile, &Actor_list)
MODULE_ACTOR_CLASS(CastleSpell, Spell, &Spell_list)
MODULE_ACTOR_CLASS(ManaBall, Actor, &Actor_list)
MODULE_ACTOR_CLASS(WorldPortal, StaticObject, &Actor_list)
MODULE_ACTOR_CLASS(UsePortalSpell, Spell, &Spell_list)
MODULE_ACTOR_CLASS(BirdMonster, Monster, &Actor_list)

// Class tables 1..50 in this order: the 32 listed classes first (as the game's lists),
// then the rest. Reordering or inserting classes needs a restart of the game.
#define MODULE_CLASSES(X)                                                                          \
    X(Actor)                                                                                       \
    X(Player)                                                                                      \
    X(WaterSource)                                                                                 \
    X(Fireball)                                                                                    \
    X(Waterball)                                                                                   \
    X(FaultMissile)                                                                                \
    X(HouseMissile)                                                                                \
    X(MeteorMissile)                                                                               \
    X(HillMissile)                                                                                 \
    X(PitMissile)                                                                                  \
    X(WaterSourceMissile)                                                                          \
    X(WaterSinkMissile)                                                                            \
    X(Spell)                                                                                       \
    X(FireballSpell)                                                                               \
    X(WaterballSpell)                                                                              \
    X(FaultSpell)                                                                                  \
    X(HouseSpell)                                                                                  \
    X(MeteorSpell)                                                                                 \
    X(HillSpell)                                                                                   \
    X(PitSpell)                                                                                    \
    X(WaterSourceSpell)                                                                            \
    X(WaterSinkSpell)                                                                              \
    X(WyvernMonster)                                                                               \
    X(Stone1StaticObject)                                                                          \
    X(ManaGatherer)                                                                                \
    X(CastleObject)                                                                                \
    X(CastleMissile)                                                                               \
    X(CastleSpell)                                                                                 \
    X(ManaBall)                                                                                    \
    X(WorldPortal)                                                                                 \
    X(UsePortalSpell)                                                                              \
    X(BirdMonster)                                                                                 \
    X(Missile)                                                                                     \
    X(Monster)                                                                                     \
    X(StaticObject)                                                                                \
    X(WaterGlobe)                                                                                  \
    X(Explosion)                                                                                   \
    X(GuiElement)                                                                                  \
    X(GuiTextElement)                                                                              \
    X(GuiImageElement)                                                                             \
    X(GuiButtonElement)                                                                            \
    X(GuiCheckboxElement)                                                                          \
    X(GuiRadioElement)                                                                             \
    X(GuiSliderElement)                                                                            \
    X(GuiSpellSlotElement)                                                                         \
    X(GuiClassSelector)                                                                            \
    X(GuiIdSelector)                                                                               \
    X(SpellsGuiScreen)                                                                             \
    X(GameMenuScreen)                                                                              \
    X(GameOptionsScreen)
