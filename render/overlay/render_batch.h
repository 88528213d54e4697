// Render batches: pieces of screen geometry tagged with a render state and a screen
// rectangle, merged into few groups (and so few draws) without changing what covers what.
#pragma once

#include "platform/game_export.h"

#include "core/vec4f.h"
#include "platform/dyn_array.h"

#include <cstdint>

struct Shader;
struct Texture;
struct VertexDecl;

// Sets the device up for a group and tears it down after. Fields left null are not bound.
class GAME_EXPORT BaseRenderBatchState {
  public:
    Shader* shader = nullptr;
    VertexDecl* vdecl = nullptr;
    int stride = 0; // bytes per vertex
    Texture* texture = nullptr;

    virtual ~BaseRenderBatchState() = default;
    virtual void reset();                           // clears shader, declaration, texture
    virtual void apply(BaseRenderBatchState* prev); // binds what differs from prev
    virtual void finish();                          // ends the writer's run
};

// Also streams from the common writer: binds its buffer and begins a triangle-list run.
class GAME_EXPORT StdRenderBatchState : public BaseRenderBatchState {
  public:
    void apply(BaseRenderBatchState* prev) override;
};

class GAME_EXPORT DistFontBatchState : public StdRenderBatchState {};

// Bitmap-font text: point filtering, the screen transform, blending and alpha test.
class FontBatchState : public StdRenderBatchState {
  public:
    void apply(BaseRenderBatchState* prev) override;
    void finish() override;
};

// Page list for pieces: allocation only moves a fill pointer; `rewind` keeps the pages.
class GAME_EXPORT AccumAlloc {
  public:
    struct Page {
        Page* next;
        uint8_t* fill;
        uint8_t* end;
    };

    explicit AccumAlloc(int page_size);
    ~AccumAlloc();
    AccumAlloc(const AccumAlloc&) = delete;
    AccumAlloc& operator=(const AccumAlloc&) = delete;

    void* alloc(int size, int align);
    void rewind();
    int pageCount() const;

    Page* pages = nullptr; // most recently added first
    int pageSize;
};

class GAME_EXPORT RenderBatch {
  public:
    struct alignas(16) Piece {
        vec4f rect; // x0, y0, x1, y1
        int size;   // bytes of vertex data after the header
        int primCount;
        Piece* next;
        uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
    };
    struct Group {
        vec4f rect;
        BaseRenderBatchState* state;
        Piece* first;
        Piece* last;
    };

    RenderBatch() : RenderBatch(32768) {}
    explicit RenderBatch(int page_size);

    // Room for `bytes` bytes of this piece's vertices; `rect` is its screen rectangle.
    void* add(BaseRenderBatchState* state, const vec4f& rect, int bytes, int prim_count);
    void render();
    void clear();

    AccumAlloc arena;
    DynArray<Group> groups; // in draw order
};
static_assert(sizeof(RenderBatch::Piece) == 32);
