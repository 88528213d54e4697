#include "render/overlay/dyn_vb_writer.h"

#include "platform/log.h"
#include "render/buffers.h"
#include "render/d3d_types.h"
#include "render/device.h"

DynVBWriter common_vb_writer;

void draw_tri_list(int count, int) {
    draw_prim(PRIM_TRIANGLELIST, 0, count);
}

void DynVBWriter::create(int bytes) {
    ASSERT_TEXT(!start, "!startPtr");
    release();
    vb = create_vb(bytes, 0);
    if (!vb) fatal("can't create dynamic VB of size %d", bytes);
    size = bytes;
    cur = start = nullptr;
    count = 0;
    renderFunc = nullptr;
}

void DynVBWriter::release() {
    ASSERT_TEXT(!start, "!startPtr");
    if (vb) release_vb(vb);
    vb = nullptr;
    size = 0;
}

uint8_t* DynVBWriter::begin(RenderFunc func, int func_arg) {
    ASSERT_TEXT(!start, "!startPtr");
    ASSERT_TEXT(vb, "vb");
    start = static_cast<uint8_t*>(lock_vb(vb, 0, 0));
    ASSERT_TEXT(start, "startPtr");
    cur = start;
    count = 0;
    renderFunc = func;
    arg = func_arg;
    return start;
}

void DynVBWriter::flush(bool final) {
    if (!final && count == 0) return;
    if (final && !start) return;
    ASSERT_TEXT(start && renderFunc, "startPtr && renderFunc");
    unlock_vb(vb);
    if (count > 0) renderFunc(count, arg);
    count = 0;
    if (!final) {
        start = static_cast<uint8_t*>(lock_vb(vb, 0, 0));
        ASSERT_TEXT(start, "startPtr");
        cur = start;
    } else {
        start = cur = nullptr;
        renderFunc = nullptr;
    }
}
