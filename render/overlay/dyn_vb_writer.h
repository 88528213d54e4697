// Streams vertices into one shared dynamic vertex buffer and draws whenever the buffer
// fills or the caller ends a run. Callers write at `cur`, advance it and add their
// primitives to `count`; before writing they check `fits` and flush when it fails.
#pragma once

#include <cstdint>

struct GpuBuffer;

class DynVBWriter {
  public:
    using RenderFunc = void (*)(int count, int arg);

    uint8_t* cur = nullptr;
    int count = 0;            // primitives written since the last draw
    uint8_t* start = nullptr; // null when no run is open
    GpuBuffer* vb = nullptr;
    int size = 0; // bytes
    RenderFunc renderFunc = nullptr;
    int arg = 0;

    void create(int bytes);
    void release();
    uint8_t* begin(RenderFunc func, int func_arg);
    void flush(bool final);

    bool isOpen() const { return start != nullptr; }
    bool fits(int bytes) const { return cur - start + bytes <= size; }
};

enum { COMMON_VB_SIZE = 65536 };
extern DynVBWriter common_vb_writer; // created at start-up with COMMON_VB_SIZE bytes

// The standard draw function: a triangle list of `count` primitives from vertex 0.
void draw_tri_list(int count, int arg);
