#include "actors/object_lists.h"

#define ACTOR_DEFINE_LIST(name) ObjectList name##_list;
ACTOR_OBJECT_LISTS(ACTOR_DEFINE_LIST)
#undef ACTOR_DEFINE_LIST

#define ACTOR_LIST_ADDRESS(name) &name##_list,
ObjectList* const actor_lists[ACTOR_LIST_COUNT] = {ACTOR_OBJECT_LISTS(ACTOR_LIST_ADDRESS)};
#undef ACTOR_LIST_ADDRESS

ObjectList deleted_actors;
ActorBase* local_player = nullptr;
