// Vertex and index buffer slots that survive device resets. Index buffers hold 16-bit
// indices. flags bit 0 set: static (kept across resets); clear: dynamic (recreated,
// every lock discards the contents).
#pragma once

#include <cstdint>

enum { MAX_BUFFERS = 1000 };
enum { BUF_STATIC = 1 };

struct GpuBuffer {
    uint32_t gl_buf; // 0 while released
    int size;        // bytes
    int flags;
    bool used;
    bool locked;
};

GpuBuffer* create_vb(int size, int flags);
GpuBuffer* create_ib(int index_count, int flags);
void release_vb(GpuBuffer* vb);
void release_ib(GpuBuffer* ib);
void* lock_vb(GpuBuffer* vb, int offset, int size); // 0, 0: the whole buffer
void unlock_vb(GpuBuffer* vb);
void* lock_ib(GpuBuffer* ib, int offset, int size);
void unlock_ib(GpuBuffer* ib);
void set_vb(int stream, GpuBuffer* vb, int offset, int stride);
void set_ib(GpuBuffer* ib);

void release_dynamic_buffers();
void recreate_dynamic_buffers();
void release_all_buffers();
int used_buffer_slots(bool index_buffers);
