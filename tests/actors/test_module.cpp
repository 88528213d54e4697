// A stand-in game-object module for the host's tests, built in variants:
//   TEST_MODULE_VERSION  what className() reports ("v1:Class7"), so a test sees which
//                        module an object is bound to
//   TEST_CLASS_COUNT     the count get_actor_vtables reports
//   TEST_GROWN_CLASS     a class index whose objects grow by a field
//   TEST_LAYOUT_VERSION  the layout version reported
// init_actor lists one object per listed class, one object in two lists and one destroyed.
#include "actors/module_api.h"

#include <cstdio>
#include <cstring>
#include <utility>

#ifndef TEST_CLASS_COUNT
#define TEST_CLASS_COUNT ACTOR_CLASS_COUNT
#endif
#ifndef TEST_GROWN_CLASS
#define TEST_GROWN_CLASS 0
#endif
#ifndef TEST_LAYOUT_VERSION
#define TEST_LAYOUT_VERSION ACTOR_LAYOUT_VERSION
#endif

namespace {
template <int N>
struct Extra {};
template <>
struct Extra<TEST_GROWN_CLASS> {
    double grown = 0;
};

template <int N>
class TestObject : public ActorBase, Extra<N> {
  public:
    const char* className() override {
        static char name[32];
        snprintf(name, sizeof(name), "v%d:Class%d", TEST_MODULE_VERSION, N);
        return name;
    }
};

void* tables[ACTOR_CLASS_COUNT];
ActorLayout layout;

template <int N>
void fill_class() {
    TestObject<N> probe;
    memcpy(&tables[N], static_cast<void*>(&probe), sizeof(void*));
    layout.class_sizes[N] = int(sizeof(TestObject<N>));
    layout.class_names[N] = "TestObject";
}

template <int... N>
void fill_classes(std::integer_sequence<int, N...>) {
    (fill_class<N + 1>(), ...);
}

template <int N>
BaseObject* make_object() {
    return new TestObject<N>;
}

template <int... N>
BaseObject* make_object_of(int k, std::integer_sequence<int, N...>) {
    BaseObject* obj = nullptr;
    ((obj = k == N + 1 ? make_object<N + 1>() : obj), ...);
    return obj;
}

void init_actor() {
    for (int i = 0; i < ACTOR_LIST_COUNT; ++i)
        actor_lists[i]->push_back(
            make_object_of(i + 1, std::make_integer_sequence<int, ACTOR_CLASS_COUNT - 1>()));
    BaseObject* both = make_object<2>(); // a player, also an actor
    Actor_list.push_back(both);
    Player_list.push_back(both);
    BaseObject* gone = make_object<7>();
    Fireball_list.push_back(gone);
    gone->destroy();
}

void close_actor() {
    for (ObjectList* list : actor_lists)
        for (BaseObject* obj : *list)
            if (!obj->isDestroyed()) obj->destroy();
    for (BaseObject* obj : deleted_actors) delete obj;
    deleted_actors.num = 0;
    for (ObjectList* list : actor_lists) list->num = 0;
}

int links = 0;
void link_gui() {
    ++links;
    debug("test module v%d linked", TEST_MODULE_VERSION);
}
void nothing() {}
} // namespace

extern "C" {
__attribute__((visibility("default"))) void* get_actor_func_by_name(const char* name) {
    if (strcmp(name, "init_actor") == 0) return reinterpret_cast<void*>(&init_actor);
    if (strcmp(name, "close_actor") == 0) return reinterpret_cast<void*>(&close_actor);
    if (strcmp(name, "link_gui") == 0) return reinterpret_cast<void*>(&link_gui);
    // The host never calls the others in these tests; any address satisfies the lookup.
    return reinterpret_cast<void*>(&nothing);
}

__attribute__((visibility("default"))) void* const* get_actor_vtables(int* count) {
    if (!tables[1]) fill_classes(std::make_integer_sequence<int, ACTOR_CLASS_COUNT - 1>());
    *count = TEST_CLASS_COUNT;
    return tables;
}

__attribute__((visibility("default"))) const ActorLayout* get_actor_layout() {
    int count = 0;
    get_actor_vtables(&count);
    ActorLayout shared = shared_actor_layout();
    memcpy(&shared.class_sizes, &layout.class_sizes, sizeof(layout.class_sizes));
    memcpy(&shared.class_names, &layout.class_names, sizeof(layout.class_names));
    shared.version = TEST_LAYOUT_VERSION;
    layout = shared;
    return &layout;
}
}
