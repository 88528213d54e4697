#include "render/mesh.h"

#include "platform/file_stream.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "render/buffers.h"

#include <cstring>
#include <memory>
#include <strings.h>

namespace {
DynArray<Mesh*> meshes;

const int VSD_TYPE_SIZE[8] = {0, 4, 8, 12, 16, 4, 4, 8};

// Reads items of the payload; every read is checked against the bytes present.
class PayloadReader {
  public:
    PayloadReader(const uint8_t* data, int size, int base) : data(data), size(size), base(base) {}

    void read(void* out, int n) {
        if (n < 0 || n > size - pos) throw StreamException("error reading file", base + pos);
        memcpy(out, data + pos, size_t(n));
        pos += n;
    }
    uint8_t u8() {
        uint8_t v;
        read(&v, 1);
        return v;
    }
    uint32_t u32() {
        uint8_t b[4];
        read(b, 4);
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    const uint8_t* take(uint64_t n) {
        if (n > uint64_t(size - pos)) throw StreamException("error reading file", base + pos);
        const uint8_t* p = data + pos;
        pos += int(n);
        return p;
    }
    // Length byte, characters, zero byte.
    void shortString(char* out, int capacity) {
        int at = base + pos;
        int len = u8();
        const uint8_t* chars = take(uint64_t(len) + 1);
        if (len >= capacity) throw StreamException("name too long", at);
        memcpy(out, chars, size_t(len));
        out[len] = 0;
    }
    int offset() const { return base + pos; }

  private:
    const uint8_t* data;
    int size, base, pos = 0;
};

void destroy_mesh(Mesh* m) {
    if (!m) return;
    release_vb(m->vb);
    release_ib(m->ib);
    delete m;
}

void parse_layout(PayloadReader& r, Mesh* m) {
    int ne = r.u8();
    if (ne >= MAX_VDECL_LEN) throw StreamException("too many vertex elements", r.offset() - 1);
    for (int i = 0; i < ne; ++i) {
        int at = r.offset();
        VertexElementDesc d;
        r.read(&d, sizeof(d));
        if (d.stream >= MAX_STREAMS) throw StreamException("invalid vertex element", at);
        m->vsd.push_back(d);
    }
    m->stride = int(r.u32());
    m->num_verts = int(r.u32());
    m->num_tris = int(r.u32());
    if (m->stride <= 0 || m->stride > 1024 || m->num_verts <= 0 || m->num_verts > 65536 ||
        m->num_tris <= 0 || m->num_tris > (1 << 24))
        throw StreamException("invalid vertex or triangle count", r.offset() - 12);
    for (const VertexElementDesc& d : m->vsd) {
        int size = d.type < 8 ? VSD_TYPE_SIZE[d.type] : 0;
        if (size == 0 || d.offset + size > m->stride)
            throw StreamException("vertex element outside the vertex", r.offset() - 12);
    }
}

void fill_buffers(PayloadReader& r, Mesh* m) {
    int vsize = m->stride * m->num_verts;
    const uint8_t* verts = r.take(uint64_t(vsize));
    int isize = m->num_tris * 6;
    int index_at = r.offset();
    const uint8_t* indices = r.take(uint64_t(isize));
    for (int i = 0; i < m->num_tris * 3; ++i) {
        int index = indices[2 * i] | indices[2 * i + 1] << 8;
        if (index >= m->num_verts)
            throw StreamException("vertex index out of range", index_at + 2 * i);
    }
    m->vb = create_vb(vsize, BUF_STATIC);
    if (!m->vb) throw StreamException("Can't create vertex buffer", -1);
    void* p = lock_vb(m->vb, 0, 0);
    if (!p) throw StreamException("Can't lock vertex buffer", -1);
    memcpy(p, verts, size_t(vsize));
    unlock_vb(m->vb);
    m->ib = create_ib(m->num_tris * 3, BUF_STATIC);
    if (!m->ib) throw StreamException("Can't create index buffer", -1);
    p = lock_ib(m->ib, 0, 0);
    if (!p) throw StreamException("Can't lock index buffer", -1);
    memcpy(p, indices, size_t(isize));
    unlock_ib(m->ib);
}

void parse_payload(PayloadReader& r, Mesh* m) {
    r.shortString(m->shader_lo, sizeof(m->shader_lo));
    r.shortString(m->shader_hi, sizeof(m->shader_hi));
    int nt = r.u8();
    for (int i = 0; i < nt; ++i) {
        MeshName n;
        r.shortString(n.name, sizeof(n.name));
        m->textures.push_back(n);
    }
    int nb = r.u8();
    for (int i = 0; i < nb; ++i) {
        ShadowBall b;
        r.read(&b, sizeof(b));
        m->shadow_balls.push_back(b);
    }
    parse_layout(r, m);
    fill_buffers(r, m);
}
} // namespace

Mesh* load_mesh(const char* full_path) {
    FileInputStream f;
    if (!f.open(full_path)) throw StreamException("Can't open file", -1);
    uint32_t head[2];
    f.read(head, sizeof(head));
    if (head[0] != MESH_FILE_VERSION) throw StreamException("Invalid mesh file version", -1);
    f.seekEnd(0);
    int64_t file_size = f.tell();
    f.seek(8);
    // The payload is read in one piece; a size beyond the file fails as that read would.
    if (int64_t(head[1]) > file_size - 8)
        throw StreamException("error reading file", int(file_size));
    DynArray<uint8_t> payload;
    payload.reserve(int(head[1]) + 1);
    payload.num = int(head[1]);
    f.read(payload.items, payload.num);
    std::unique_ptr<Mesh, void (*)(Mesh*)> m(new Mesh, destroy_mesh);
    PayloadReader r(payload.items, payload.num, 8);
    parse_payload(r, m.get());
    snprintf(m->path, sizeof(m->path), "%s", full_path);
    return m.release();
}

Mesh* get_mesh(const char* name, bool must_exist) {
    TempString<260> path = make_full_path(name);
    for (Mesh* m : meshes)
        if (strcasecmp(m->path, path) == 0) {
            ++m->refcount;
            return m;
        }
    try {
        Mesh* m = load_mesh(path);
        meshes.push_back(m);
        return m;
    } catch (const StreamException& e) {
        if (!must_exist && e.code == -1 && strcmp(e.message, "Can't open file") == 0)
            return nullptr;
        fatal("Error reading mesh file '%s':\n%s (offset %d)", path.c_str(), e.message, e.code);
    }
}

void free_mesh(Mesh* mesh) {
    int i = meshes.find(mesh);
    if (i < 0) return;
    if (--mesh->refcount > 0) return;
    meshes.erase(i);
    destroy_mesh(mesh);
}

void free_all_meshes() {
    for (Mesh* m : meshes) destroy_mesh(m);
    meshes.clear();
}
