// The game-object module: entry points, the class tables and the functions the game
// calls by name. Imported files are compiled into this one translation unit.
#include "actors/module_api.h"

#include <cstring>

import core.objects
import game.rules
import core.classes
import actors.player
import game.play
import game.hud
import ui.screens
import world.buildings
import core.effects
import core.world_calls

namespace {
struct NamedFunction {
    const char* name;
    void* address;
};

#define MODULE_NAMED(name, ret, args) {#name, reinterpret_cast<void*>(&name)},
#define MODULE_NAMED_REQUIRED(name) {#name, reinterpret_cast<void*>(&name)},
const NamedFunction named_functions[] = {
    ACTOR_MODULE_FUNCTIONS(MODULE_NAMED) ACTOR_MODULE_REQUIRED(MODULE_NAMED_REQUIRED)
    {"link_gui", reinterpret_cast<void*>(&link_gui)},
};
#undef MODULE_NAMED
#undef MODULE_NAMED_REQUIRED

struct ClassTables {
    void* tables[ACTOR_CLASS_COUNT] = {};
    ActorLayout layout = shared_actor_layout();

    ClassTables() {
        int i = 1;
#define MODULE_CLASS_TABLE(cls)                                                                    \
    tables[i] = class_table<cls>();                                                                \
    layout.class_sizes[i] = int(sizeof(cls));                                                      \
    layout.class_names[i++] = #cls;
        MODULE_CLASSES(MODULE_CLASS_TABLE)
#undef MODULE_CLASS_TABLE
    }
};

const ClassTables& class_tables() {
    static const ClassTables t;
    return t;
}
} // namespace

extern "C" {
__attribute__((visibility("default"))) void* get_actor_func_by_name(const char* name) {
    for (const NamedFunction& f : named_functions)
        if (strcmp(f.name, name) == 0) return f.address;
    return nullptr;
}

__attribute__((visibility("default"))) void* const* get_actor_vtables(int* count) {
    *count = ACTOR_CLASS_COUNT;
    return class_tables().tables;
}

__attribute__((visibility("default"))) const ActorLayout* get_actor_layout() {
    return &class_tables().layout;
}
}
