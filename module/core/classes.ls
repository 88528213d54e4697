// The module's classes: the gameplay classes come from game/, in the order of their
// class tables below.

// The gameplay classes and the abstract kinds they share.
import game.kinds
import game.missiles
import game.monsters
import game.buildings
import game.spells

// Kinds without behaviour of their own yet.
class WaterGlobe : public Actor {
  public:
    const char* className() override { return "WaterGlobe"; }
};
class Explosion : public Actor {
  public:
    const char* className() override { return "Explosion"; }
};

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
