#include "gui/base_object.h"

DynArray<BaseObject*> deleted_actors;

void WeakRefTarget::clearWeakRefs() {
    WeakRefNode* n = weakRing;
    weakRing = nullptr;
    while (n) {
        WeakRefNode* next = n->next;
        n->target = nullptr;
        n->word = 0;
        n->next = nullptr;
        n = next; // back at the first node, whose next is already null
    }
}

void WeakRefTarget::linkWeakRef(WeakRefNode* node) {
    node->target = this;
    if (!weakRing) {
        node->next = node;
        weakRing = node;
        return;
    }
    node->next = weakRing->next;
    weakRing->next = node;
}

void WeakRefTarget::unlinkWeakRef(WeakRefNode* node) {
    WeakRefNode* prev = node;
    while (prev->next != node) prev = prev->next;
    if (prev == node) {
        weakRing = nullptr;
    } else {
        prev->next = node->next;
        if (weakRing == node) weakRing = node->next;
    }
    node->target = nullptr;
    node->word = 0;
    node->next = nullptr;
}

void BaseObject::destroy() {
    if (objFlags & OBJ_DESTROYED) return;
    objFlags |= OBJ_DESTROYED;
    deleted_actors.push_back(this);
    onDestroy();
}
