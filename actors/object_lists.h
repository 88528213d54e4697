// The game objects' lists. `game` owns them so that objects outlive a module swap; the
// module creates, lists and deletes the objects. Rebinding visits the lists in this order.
#pragma once

#include "actors/base_object.h"
#include "platform/dyn_array.h"

#define ACTOR_OBJECT_LISTS(X)                                                                      \
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
    X(BirdMonster)

using ObjectList = DynArray<BaseObject*>;

#define ACTOR_DECLARE_LIST(name) GAME_EXPORT extern ObjectList name##_list;
ACTOR_OBJECT_LISTS(ACTOR_DECLARE_LIST)
#undef ACTOR_DECLARE_LIST

constexpr int ACTOR_LIST_COUNT = 32;
GAME_EXPORT extern ObjectList* const actor_lists[ACTOR_LIST_COUNT]; // in rebinding order

GAME_EXPORT extern ObjectList deleted_actors; // destroyed objects; the module deletes them
GAME_EXPORT extern ActorBase* local_player;   // null when there is none
