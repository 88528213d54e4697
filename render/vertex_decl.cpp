#include "render/vertex_decl.h"

#include "platform/log.h"
#include "render/buffers.h"
#include "render/device_internal.h"

#include <cstring>

namespace {
// Direct3D declaration codes.
enum { DT_FLOAT1 = 0, DT_D3DCOLOR = 4, DT_SHORT2 = 6, DT_SHORT4 = 7, DT_UNUSED = 17 };
enum { DU_POSITION = 0, DU_NORMAL = 3, DU_TEXCOORD = 5, DU_TANGENT = 6, DU_COLOR = 10 };
enum { MAX_LAYOUTS = 64 };

VertexDecl decls[MAX_VERTEX_DECLS];
bool decl_used[MAX_VERTEX_DECLS];

struct InputLayout {
    uint16_t sig[16];
};
InputLayout layouts[MAX_LAYOUTS];
int layout_count = 0;
uint32_t layout_gen = 1;

// One vertex array per (declaration, input layout), with the bindings it currently holds.
struct VertexArray {
    GLuint vao;
    uint32_t epoch;
    uint32_t used_streams; // streams that feed an attribute the shader reads
    GLuint buf[16];
    GLintptr off[16];
    GLsizei stride[16];
    GLuint ib;
    int divisor1;
};
VertexArray arrays[MAX_VERTEX_DECLS][MAX_LAYOUTS];
GLuint bound_vao = 0;

uint8_t d3d_type(uint8_t code) {
    return code >= VSD_FLOAT1 && code <= VSD_SHORT4 ? uint8_t(code < VSD_SHORT2 ? code - 1 : code)
                                                    : uint8_t(DT_UNUSED);
}

uint8_t d3d_usage(uint8_t code) {
    switch (code) {
    case VSD_POSITION:
        return DU_POSITION;
    case VSD_NORMAL:
        return DU_NORMAL;
    case VSD_COLOR:
        return DU_COLOR;
    case VSD_TEXCOORD:
        return DU_TEXCOORD;
    default:
        return DU_TANGENT;
    }
}

// What Direct3D's CreateVertexDeclaration would refuse.
bool decl_is_valid(const VertexDecl& d) {
    for (int i = 0; i + 1 < d.count; ++i) {
        const VertexDeclElement& e = d.elems[i];
        if (e.type == DT_UNUSED || e.stream >= MAX_STREAMS) return false;
        for (int j = 0; j < i; ++j)
            if (d.elems[j].usage == e.usage && d.elems[j].usage_index == e.usage_index)
                return false;
    }
    return true;
}

void delete_vertex_arrays() {
    for (auto& row : arrays)
        for (VertexArray& a : row) {
            if (a.vao) glDeleteVertexArrays(1, &a.vao);
            a = VertexArray{};
        }
    bound_vao = 0;
}

void attrib_format(GLuint vao, GLuint loc, const VertexDeclElement& e) {
    switch (e.type) {
    case DT_D3DCOLOR:
        glVertexArrayAttribFormat(vao, loc, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, e.offset);
        break;
    case DT_SHORT2:
    case DT_SHORT4:
        glVertexArrayAttribFormat(vao, loc, e.type == DT_SHORT2 ? 2 : 4, GL_SHORT, GL_FALSE,
                                  e.offset);
        break;
    default:
        glVertexArrayAttribFormat(vao, loc, e.type - DT_FLOAT1 + 1, GL_FLOAT, GL_FALSE, e.offset);
    }
}

void create_vertex_array(VertexArray& a, const VertexDecl& d, const InputLayout& layout) {
    a = VertexArray{};
    glCreateVertexArrays(1, &a.vao);
    for (GLuint loc = 0; loc < 16; ++loc) {
        if (!layout.sig[loc]) continue;
        int usage = (layout.sig[loc] - 1) >> 8, index = (layout.sig[loc] - 1) & 255;
        for (int i = 0; i + 1 < d.count; ++i) {
            const VertexDeclElement& e = d.elems[i];
            if (e.usage != usage || e.usage_index != index) continue;
            glEnableVertexArrayAttrib(a.vao, loc);
            attrib_format(a.vao, loc, e);
            glVertexArrayAttribBinding(a.vao, loc, e.stream);
            a.used_streams |= 1u << e.stream;
            break;
        }
    }
}
} // namespace

VertexDecl* get_vertex_decl(const VertexElementDesc* descs) {
    VertexDecl d = {};
    int n = 0;
    for (; descs[n].stream != 255; ++n) {
        ASSERT_TEXT(n < MAX_VDECL_LEN - 1, "i<MAX_VDECL_LEN");
        const VertexElementDesc& s = descs[n];
        d.elems[n] = {s.stream, s.offset, d3d_type(s.type), 0, d3d_usage(s.usage), s.usage_index};
        if (s.stream < 32) d.stream_mask |= 1u << s.stream;
    }
    d.elems[n] = {0xff, 0, DT_UNUSED, 0, 0, 0};
    d.count = n + 1;

    int free_slot = -1;
    for (int i = 0; i < MAX_VERTEX_DECLS; ++i) {
        if (!decl_used[i]) {
            if (free_slot < 0) free_slot = i;
            continue;
        }
        if (decls[i].count == d.count &&
            memcmp(decls[i].elems, d.elems, sizeof(VertexDeclElement) * size_t(d.count)) == 0)
            return &decls[i];
    }
    if (free_slot < 0) fatal("reached maximum vertex declaration count");
    if (!decl_is_valid(d)) {
        debug("VSD:");
        for (int i = 0; i < n; ++i)
            debug("  %4u %2u %2u %2u %2u", descs[i].offset, descs[i].stream, descs[i].type,
                  descs[i].usage, descs[i].usage_index);
        fatal("failed to create vertex declaration (code 0x%08X)", D3DERR_INVALIDCALL);
    }
    d.index = free_slot;
    decls[free_slot] = d;
    decl_used[free_slot] = true;
    return &decls[free_slot];
}

void set_vertex_decl(VertexDecl* decl) {
    g_dev.decl = decl;
}

void release_vertex_decls() {
    delete_vertex_arrays();
    memset(decl_used, 0, sizeof(decl_used));
    layout_count = 0;
    ++layout_gen;
    g_dev.decl = nullptr;
}

int vertex_decl_count() {
    int n = 0;
    for (bool u : decl_used) n += u;
    return n;
}

int vdecl_register_layout(const uint16_t sig[16]) {
    for (int i = 0; i < layout_count; ++i)
        if (memcmp(layouts[i].sig, sig, sizeof(layouts[i].sig)) == 0) return i;
    if (layout_count == MAX_LAYOUTS) {
        // Reloads can pile up signatures: start over; shaders re-register on next use.
        delete_vertex_arrays();
        layout_count = 0;
        ++layout_gen;
    }
    memcpy(layouts[layout_count].sig, sig, sizeof(layouts[layout_count].sig));
    return layout_count++;
}

uint32_t vdecl_layout_generation() {
    return layout_gen;
}

void vdecl_release_vertex_arrays() {
    delete_vertex_arrays();
}

bool vdecl_bind_inputs(bool indexed) {
    VertexDecl* d = g_dev.decl;
    int layout = g_dev.input_layout;
    if (!d || layout < 0 || layout >= layout_count) return false;
    VertexArray& a = arrays[d->index][layout];
    if (!a.vao) create_vertex_array(a, *d, layouts[layout]);
    if (a.epoch != g_dev.object_epoch) {
        memset(a.buf, 0, sizeof(a.buf));
        memset(a.off, 0xff, sizeof(a.off));
        a.ib = 0;
        a.epoch = g_dev.object_epoch;
        glVertexArrayElementBuffer(a.vao, 0);
        for (GLuint s = 0; s < 16; ++s) glVertexArrayVertexBuffer(a.vao, s, 0, 0, 16);
    }
    if (bound_vao != a.vao) {
        glBindVertexArray(a.vao);
        bound_vao = a.vao;
    }
    for (uint32_t m = a.used_streams; m; m &= m - 1) {
        int s = __builtin_ctz(m);
        GLuint buf = g_dev.stream_buf[s];
        if (!buf) return false; // the shader reads a stream nothing is bound to
        if (a.buf[s] != buf || a.off[s] != g_dev.stream_off[s] ||
            a.stride[s] != g_dev.stream_stride[s]) {
            a.buf[s] = buf;
            a.off[s] = g_dev.stream_off[s];
            a.stride[s] = g_dev.stream_stride[s];
            glVertexArrayVertexBuffer(a.vao, GLuint(s), buf, a.off[s], a.stride[s]);
        }
    }
    if (indexed) {
        if (!g_dev.index_buf) return false;
        if (a.ib != g_dev.index_buf) {
            a.ib = g_dev.index_buf;
            glVertexArrayElementBuffer(a.vao, a.ib);
        }
    }
    int divisor = g_dev.instance_count > 0 ? 1 : 0;
    if (a.divisor1 != divisor) {
        a.divisor1 = divisor;
        glVertexArrayBindingDivisor(a.vao, 1, GLuint(divisor));
    }
    return true;
}

int vdecl_input_code(const char* name) {
    static const struct {
        const char* prefix;
        int usage;
    } names[] = {{"POSITION", DU_POSITION},
                 {"NORMAL", DU_NORMAL},
                 {"COLOR", DU_COLOR},
                 {"TEXCOORD", DU_TEXCOORD},
                 {"TANGENT", DU_TANGENT}};
    for (const auto& n : names) {
        size_t len = strlen(n.prefix);
        if (strncmp(name, n.prefix, len) != 0) continue;
        const char* p = name + len;
        int index = 0;
        if (!*p) return n.usage << 8;
        for (; *p >= '0' && *p <= '9'; ++p) {
            index = index * 10 + (*p - '0');
            if (index > 255) return -1;
        }
        return *p ? -1 : (n.usage << 8 | index);
    }
    return -1;
}
