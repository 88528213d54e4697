// The growable array behind every list of the engine (items, count, capacity).
// Elements are moved with memcpy, so T must be trivially relocatable.
#pragma once

#include "platform/log.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

template <typename T>
class DynArray {
    static_assert(std::is_trivially_copyable_v<T>, "DynArray holds plain data");

  public:
    T* items = nullptr;
    int num = 0;
    int capacity = 0;

    DynArray() = default;
    DynArray(const DynArray&) = delete;
    DynArray& operator=(const DynArray&) = delete;
    ~DynArray() { free(items); }

    T& operator[](int i) { return items[i]; }
    const T& operator[](int i) const { return items[i]; }
    T* begin() { return items; }
    T* end() { return items + num; }
    const T* begin() const { return items; }
    const T* end() const { return items + num; }

    void reserve(int n) {
        if (n <= capacity) return;
        T* p = static_cast<T*>(realloc(items, size_t(n) * sizeof(T)));
        if (!p) fatal("out of memory (%d items of %d bytes)", n, int(sizeof(T)));
        items = p;
        capacity = n;
    }

    void clear() {
        free(items);
        items = nullptr;
        num = capacity = 0;
    }

    T& push_back(const T& v) {
        if (num == capacity) reserve(capacity < 8 ? 8 : capacity * 2);
        items[num] = v;
        return items[num++];
    }

    // Inserts n elements (uninitialised) at index at; returns a pointer to them.
    T* insertEmpty(int at, int n) {
        ASSERT_TEXT(at >= 0 && at <= num, "at>=0 && at<=num");
        ASSERT_TEXT(n >= 0, "n>=0");
        if (num + n > capacity) reserve(num + n > capacity * 2 ? num + n : capacity * 2);
        memmove(items + at + n, items + at, size_t(num - at) * sizeof(T));
        num += n;
        return items + at;
    }

    void insert(int at, const T& v) { *insertEmpty(at, 1) = v; }

    void erase(int at, int n = 1) {
        ASSERT_TEXT(n >= 0, "n>=0");
        ASSERT_TEXT(at >= 0 && at + n <= num, "at+n<=num");
        memmove(items + at, items + at + n, size_t(num - at - n) * sizeof(T));
        num -= n;
    }

    int find(const T& v) const {
        for (int i = 0; i < num; ++i)
            if (items[i] == v) return i;
        return -1;
    }
};
