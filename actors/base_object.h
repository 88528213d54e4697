// The header every game object shares with the host: the class-table pointer, the weak
// reference ring, the flag word and the proximity bin, in this order. The host rebinds
// objects by rewriting the class-table pointer, so these fields never move.
#pragma once

#include "core/vec4f.h"
#include "platform/game_export.h"

#include <cstdint>

class WeakRefTarget;

// One weak reference: reads null once its target is deleted.
struct WeakRefNode {
    WeakRefTarget* target;
    void* data;
    WeakRefNode* next;
};

class GAME_EXPORT WeakRefTarget {
  public:
    WeakRefNode* weak_ring = nullptr; // circular list of the references to this object

    WeakRefTarget() = default;
    WeakRefTarget(const WeakRefTarget&) = delete;
    WeakRefTarget& operator=(const WeakRefTarget&) = delete;
    ~WeakRefTarget(); // clears every node of the ring
};

enum : uint32_t {
    OBJ_DESTROYED = 1u << 0, // set once by destroy
    OBJ_REBOUND = 1u << 1,   // visited in the current rebinding pass
};

class GAME_EXPORT BaseObject : public WeakRefTarget {
  public:
    uint32_t flags = 0;
    int proximity_bin = -1; // bin of the proximity grid, -1 when in none

    virtual ~BaseObject();
    // Sets OBJ_DESTROYED, queues the object in deleted_actors, then calls onDestroy; once.
    virtual void destroy();
    virtual void onDestroy();
    virtual const char* className();

    bool isDestroyed() const { return flags & OBJ_DESTROYED; }
};

// The root of the module's game objects. The host calls these five on local_player; the
// module's Player overrides them.
class ActorBase : public BaseObject {
  public:
    virtual void beforeRegeneration() {}
    virtual void move(float dt, float speed, const vec4f& velocity, const vec4f basis[3],
                      float dash) {}
    virtual void eyePosition(vec4f& out) {}
    virtual void setPosition(const vec4f& pos) {}
    virtual void afterRegeneration() {}
};

static_assert(sizeof(BaseObject) == 24, "class-table pointer, ring, flags, bin");
