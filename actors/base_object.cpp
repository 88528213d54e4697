#include "actors/base_object.h"

#include "actors/object_lists.h"

WeakRefTarget::~WeakRefTarget() {
    WeakRefNode* n = weak_ring;
    while (n) {
        WeakRefNode* next = n->next;
        n->target = nullptr;
        n->data = nullptr;
        n->next = nullptr;
        if (next == weak_ring) break;
        n = next;
    }
    weak_ring = nullptr;
}

BaseObject::~BaseObject() = default;

void BaseObject::destroy() {
    if (flags & OBJ_DESTROYED) return;
    flags |= OBJ_DESTROYED;
    deleted_actors.push_back(this);
    onDestroy();
}

void BaseObject::onDestroy() {}

const char* BaseObject::className() {
    return "BaseObject";
}
