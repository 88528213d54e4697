#include "render/buffers.h"

#include "platform/log.h"
#include "render/device_internal.h"

#include <cstring>
#include <initializer_list>

namespace {
GpuBuffer vb_table[MAX_BUFFERS];
GpuBuffer ib_table[MAX_BUFFERS];

bool is_static(const GpuBuffer* b) {
    return (b->flags & BUF_STATIC) != 0;
}

// Creates the device buffer of a slot; returns a GL error code or 0.
uint32_t create_device_buffer(GpuBuffer* b) {
    if (b->size <= 0) return D3DERR_INVALIDCALL;
    clear_gl_errors();
    glCreateBuffers(1, &b->gl_buf);
    glNamedBufferData(b->gl_buf, b->size, nullptr, is_static(b) ? GL_STATIC_DRAW : GL_DYNAMIC_DRAW);
    uint32_t err = take_gl_error();
    if (err) {
        glDeleteBuffers(1, &b->gl_buf);
        b->gl_buf = 0;
    }
    return err;
}

void forget_bindings(GLuint name) {
    for (GLuint& s : g_dev.stream_buf)
        if (s == name) s = 0;
    if (g_dev.index_buf == name) g_dev.index_buf = 0;
}

void release_device_buffer(GpuBuffer* b) {
    if (!b->gl_buf) return;
    if (b->locked) glUnmapNamedBuffer(b->gl_buf);
    b->locked = false;
    forget_bindings(b->gl_buf);
    glDeleteBuffers(1, &b->gl_buf);
    b->gl_buf = 0;
    ++g_dev.object_epoch;
}

GpuBuffer* create_buffer(GpuBuffer* table, int size, int flags, const char* kind) {
    ASSERT_TEXT(g_dev.open, "d3d");
    GpuBuffer* b = nullptr;
    for (int i = 0; i < MAX_BUFFERS && !b; ++i)
        if (!table[i].used) b = &table[i];
    if (!b) {
        debug("reached MAX_BUFFERS for %s", kind);
        return nullptr;
    }
    *b = GpuBuffer{0, size, flags, false, false};
    if (uint32_t err = create_device_buffer(b)) {
        debug("error creating %s (code 0x%08X)", kind, err);
        return nullptr;
    }
    b->used = true;
    return b;
}

void release_buffer(GpuBuffer* b) {
    if (!b) return;
    release_device_buffer(b);
    b->used = false;
}

void* lock_buffer(GpuBuffer* b, int offset, int size, const char* kind) {
    if (!b || !b->gl_buf || b->locked) return nullptr;
    if (size == 0) size = b->size - offset;
    if (offset < 0 || size <= 0 || offset > b->size - size) {
        debug("error locking %s (code 0x%08X)", kind, D3DERR_INVALIDCALL);
        return nullptr;
    }
    // A dynamic buffer's contents never survive a lock: let the driver orphan it.
    GLbitfield access = GL_MAP_WRITE_BIT | (is_static(b) ? 0 : GL_MAP_INVALIDATE_BUFFER_BIT);
    void* p = glMapNamedBufferRange(b->gl_buf, offset, size, access);
    if (!p) {
        debug("error locking %s (code 0x%08X)", kind, take_gl_error());
        return nullptr;
    }
    b->locked = true;
    return p;
}

void unlock_buffer(GpuBuffer* b) {
    if (!b || !b->gl_buf || !b->locked) return;
    glUnmapNamedBuffer(b->gl_buf);
    b->locked = false;
}

void recreate_dynamic(GpuBuffer* table, const char* kind) {
    for (int i = 0; i < MAX_BUFFERS; ++i) {
        GpuBuffer* b = &table[i];
        if (!b->used || is_static(b) || b->gl_buf) continue;
        if (uint32_t err = create_device_buffer(b))
            debug("error creating %s (code 0x%08X)", kind, err);
    }
}
} // namespace

GpuBuffer* create_vb(int size, int flags) {
    return create_buffer(vb_table, size, flags, "VB");
}

GpuBuffer* create_ib(int index_count, int flags) {
    int size = index_count > 0 && index_count < (1 << 30) ? index_count * 2 : 0;
    return create_buffer(ib_table, size, flags, "IB");
}

void release_vb(GpuBuffer* vb) {
    release_buffer(vb);
}
void release_ib(GpuBuffer* ib) {
    release_buffer(ib);
}
void* lock_vb(GpuBuffer* vb, int offset, int size) {
    return lock_buffer(vb, offset, size, "VB");
}
void unlock_vb(GpuBuffer* vb) {
    unlock_buffer(vb);
}
void* lock_ib(GpuBuffer* ib, int offset, int size) {
    return lock_buffer(ib, offset, size, "IB");
}
void unlock_ib(GpuBuffer* ib) {
    unlock_buffer(ib);
}

void set_vb(int stream, GpuBuffer* vb, int offset, int stride) {
    if (stream < 0 || stream >= 16) return;
    g_dev.stream_buf[stream] = vb ? vb->gl_buf : 0;
    g_dev.stream_off[stream] = offset;
    g_dev.stream_stride[stream] = stride;
}

void set_ib(GpuBuffer* ib) {
    g_dev.index_buf = ib ? ib->gl_buf : 0;
}

void release_dynamic_buffers() {
    set_ib(nullptr);
    for (int s = 0; s < 16; ++s) set_vb(s, nullptr, 0, 0);
    for (GpuBuffer* table : {vb_table, ib_table})
        for (int i = 0; i < MAX_BUFFERS; ++i)
            if (table[i].used && !is_static(&table[i])) release_device_buffer(&table[i]);
}

void recreate_dynamic_buffers() {
    recreate_dynamic(vb_table, "VB");
    recreate_dynamic(ib_table, "IB");
}

void release_all_buffers() {
    for (GpuBuffer* table : {vb_table, ib_table})
        for (int i = 0; i < MAX_BUFFERS; ++i) release_buffer(&table[i]);
}

int used_buffer_slots(bool index_buffers) {
    const GpuBuffer* table = index_buffers ? ib_table : vb_table;
    int n = 0;
    for (int i = 0; i < MAX_BUFFERS; ++i) n += table[i].used;
    return n;
}
