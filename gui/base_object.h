// Objects that game code may hold weak references to, and the two-step destruction of
// game objects: `destroy` flags and queues an object, the module deletes it later.
#pragma once

#include "platform/dyn_array.h"
#include "platform/game_export.h"

#include <cstdint>

class WeakRefTarget;

// One weak reference: a node in its target's circular ring. The destructor of the target
// clears every node (target, word and next), so the reference then reads null.
struct WeakRefNode {
    WeakRefTarget* target = nullptr;
    uintptr_t word = 0; // the holder's own word; cleared with the target
    WeakRefNode* next = nullptr;
};

class GAME_EXPORT WeakRefTarget {
  public:
    WeakRefNode* weakRing = nullptr; // any node of the ring, null when none

    WeakRefTarget() = default;
    WeakRefTarget(const WeakRefTarget&) {} // a copy is a new target: no references yet
    WeakRefTarget& operator=(const WeakRefTarget&) { return *this; }
    ~WeakRefTarget() { clearWeakRefs(); }

    void clearWeakRefs();
    void linkWeakRef(WeakRefNode* node);   // node must be unlinked
    void unlinkWeakRef(WeakRefNode* node); // node must be in this ring
};

// A typed weak reference; reads null once its target is deleted.
template <typename T>
class WeakRef {
  public:
    WeakRef() = default;
    explicit WeakRef(T* p) { set(p); }
    WeakRef(const WeakRef& o) { set(o.get()); }
    WeakRef& operator=(const WeakRef& o) {
        set(o.get());
        return *this;
    }
    WeakRef& operator=(T* p) {
        set(p);
        return *this;
    }
    ~WeakRef() { set(nullptr); }

    T* get() const { return static_cast<T*>(node.target); }
    operator T*() const { return get(); }
    T* operator->() const { return get(); }

    void set(T* p) {
        if (node.target == p) return;
        if (node.target) node.target->unlinkWeakRef(&node);
        if (p) static_cast<WeakRefTarget*>(p)->linkWeakRef(&node);
    }

  private:
    WeakRefNode node;
};

enum {
    OBJ_DESTROYED = 1, // set once by destroy
    OBJ_REBOUND = 2,   // the module host's mark during a rebind pass
};

// Base of every game object and GUI object. Layout (the module host relies on it): the
// class-table pointer, the weak-reference ring, then the flag word.
class GAME_EXPORT BaseObject : public WeakRefTarget {
  public:
    uint32_t objFlags = 0;

    BaseObject() = default;
    virtual ~BaseObject() = default;
    virtual void destroy(); // flag, queue in deleted_actors, onDestroy
    virtual void onDestroy() {}
    virtual const char* className() const { return "BaseObject"; }

    bool isDestroyed() const { return objFlags & OBJ_DESTROYED; }
};

// Destroyed objects waiting for the module to delete them; game never empties it.
GAME_EXPORT extern DynArray<BaseObject*> deleted_actors;
