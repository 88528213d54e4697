#include "platform/tga.h"

#include "platform/file_stream.h"

void load_tga(const char* path, TgaImage& out) {
    FileInputStream in;
    if (!in.open(path)) throw StreamException("can't open file", -1);
    uint8_t h[18];
    in.read(h, sizeof(h));
    if (h[2] != 2 || h[16] != 32) throw StreamException("unsupported TGA format", int(in.tell()));
    int w = h[12] | h[13] << 8, ht = h[14] | h[15] << 8;
    if (w == 0 || ht == 0) throw StreamException("zero-sized TGA image", int(in.tell()));

    // Check the length before allocating: the header alone could ask for 16 GB.
    int64_t pos = in.tell();
    in.seekEnd(0);
    int64_t bytes = int64_t(w) * ht * 4;
    if (in.tell() - pos < bytes) throw StreamException("truncated TGA image", int(in.tell()));
    in.seek(pos);

    DynArray<uint32_t> px;
    px.reserve(w * ht);
    px.num = w * ht;
    for (int y = 0; y < ht; ++y) in.read(px.items + size_t(y) * size_t(w), w * 4);
    out.width = w;
    out.height = ht;
    out.pixels.clear();
    out.pixels.items = px.items;
    out.pixels.num = px.num;
    out.pixels.capacity = px.capacity;
    px.items = nullptr;
    px.num = px.capacity = 0;
}
