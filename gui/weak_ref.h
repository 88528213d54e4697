// Typed weak references over the objects' reference ring: a WeakRef reads null once its
// target is deleted (the target's destructor clears every node of its ring).
#pragma once

#include "actors/base_object.h"

inline void weak_ref_link(WeakRefTarget* t, WeakRefNode* node) {
    node->target = t;
    if (!t->weak_ring) {
        node->next = node;
        t->weak_ring = node;
        return;
    }
    node->next = t->weak_ring->next;
    t->weak_ring->next = node;
}

inline void weak_ref_unlink(WeakRefNode* node) {
    WeakRefTarget* t = node->target;
    WeakRefNode* prev = node;
    while (prev->next != node) prev = prev->next;
    if (prev == node) {
        t->weak_ring = nullptr;
    } else {
        prev->next = node->next;
        if (t->weak_ring == node) t->weak_ring = node->next;
    }
    *node = WeakRefNode{};
}

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
        if (node.target) weak_ref_unlink(&node);
        if (p) weak_ref_link(p, &node);
    }

  private:
    WeakRefNode node{};
};
