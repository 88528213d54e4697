// Slot tables, locks across resets, DDS files, vertex declarations and mesh files.
#include "platform/file_stream.h"
#include "render/buffers.h"
#include "render/dds.h"
#include "render/mesh.h"
#include "render/vertex_decl.h"
#include "render_fixture.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace {
enum DdsKind { DDS_ARGB, DDS_XRGB, DDS_RGB24, DDS_L8, DDS_DXT1, DDS_DXT5 };

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A DDS file whose level bytes count up, so each level can be recognised.
std::vector<uint8_t> make_dds(DdsKind kind, int w, int h, int levels) {
    std::vector<uint8_t> b(128, 0);
    memcpy(b.data(), "DDS ", 4);
    const size_t H = 4, PF = H + 72;
    put32(b, H, 124);
    put32(b, H + 4, 0x1 | 0x2 | 0x4 | 0x1000 | (levels > 1 ? 0x20000 : 0));
    put32(b, H + 8, uint32_t(h));
    put32(b, H + 12, uint32_t(w));
    put32(b, H + 24, uint32_t(levels));
    put32(b, PF, 32);
    int block = 0, pixel = 4;
    switch (kind) {
    case DDS_ARGB:
    case DDS_XRGB:
    case DDS_RGB24:
        put32(b, PF + 4, 0x40 | (kind == DDS_ARGB ? 0x1 : 0));
        put32(b, PF + 12, kind == DDS_RGB24 ? 24 : 32);
        put32(b, PF + 16, 0xff0000);
        put32(b, PF + 20, 0xff00);
        put32(b, PF + 24, 0xff);
        put32(b, PF + 28, kind == DDS_ARGB ? 0xff000000u : 0);
        pixel = kind == DDS_RGB24 ? 3 : 4;
        break;
    case DDS_L8:
        put32(b, PF + 4, 0x20000);
        put32(b, PF + 12, 8);
        pixel = 1;
        break;
    case DDS_DXT1:
    case DDS_DXT5:
        put32(b, PF + 4, 0x4);
        memcpy(&b[PF + 8], kind == DDS_DXT1 ? "DXT1" : "DXT5", 4);
        block = kind == DDS_DXT1 ? 8 : 16;
        break;
    }
    put32(b, H + 104, 0x1000 | (levels > 1 ? 0x400008 : 0));
    uint8_t counter = 0;
    for (int l = 0; l < levels; ++l) {
        int lw = std::max(1, w >> l), lh = std::max(1, h >> l);
        size_t n = block ? size_t((lw + 3) / 4) * size_t((lh + 3) / 4) * size_t(block)
                         : size_t(lw) * size_t(lh) * size_t(pixel);
        for (size_t i = 0; i < n; ++i) b.push_back(counter++);
    }
    return b;
}

bool parses(const std::vector<uint8_t>& b, DdsImage* out = nullptr) {
    DdsImage img;
    bool ok = parse_dds(b.data(), b.size(), img);
    if (ok && out) *out = img;
    return ok;
}

void save(const std::string& path, const std::vector<uint8_t>& b) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(b.data(), 1, b.size(), f);
    fclose(f);
}

// Mesh file builder.
struct MeshFile {
    std::vector<uint8_t> payload;
    void u8(int v) { payload.push_back(uint8_t(v)); }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) payload.push_back(uint8_t(v >> (8 * i)));
    }
    void str(const char* s) {
        u8(int(strlen(s)));
        payload.insert(payload.end(), s, s + strlen(s));
        u8(0);
    }
    void raw(const void* p, size_t n) {
        auto* c = static_cast<const uint8_t*>(p);
        payload.insert(payload.end(), c, c + n);
    }
    std::vector<uint8_t> file(uint32_t version = MESH_FILE_VERSION) const {
        // Sized once: growing an 8-byte vector by insert trips g++ 12's bounds check at -O3.
        std::vector<uint8_t> b(8 + payload.size());
        put32(b, 0, version);
        put32(b, 4, uint32_t(payload.size()));
        std::copy(payload.begin(), payload.end(), b.begin() + 8);
        return b;
    }
};

// One triangle: float3 position + colour, two textures, one shadow ball.
MeshFile triangle_mesh(uint16_t last_index = 2) {
    MeshFile m;
    m.str("obj_low.sh");
    m.str("obj_high.sh");
    m.u8(2);
    m.str("stone.dds");
    m.str("stone_n.dds");
    m.u8(1);
    float ball[4] = {1, 2, 3, 0.5f};
    m.raw(ball, sizeof(ball));
    m.u8(2);
    VertexElementDesc els[2] = {{0, 0, VSD_FLOAT3, VSD_POSITION, 0},
                                {12, 0, VSD_COLOR32, VSD_COLOR, 0}};
    m.raw(els, sizeof(els));
    m.u32(16);
    m.u32(3);
    m.u32(1);
    for (int i = 0; i < 3 * 16; ++i) m.u8(i);
    uint16_t idx[3] = {0, 1, last_index};
    m.raw(idx, sizeof(idx));
    return m;
}

// The stream error of loading a mesh file, as "message @offset".
std::string mesh_error(const std::string& path) {
    try {
        load_mesh(path.c_str());
        return "loaded";
    } catch (const StreamException& e) {
        return std::string(e.message) + " @" + std::to_string(e.code);
    }
}
} // namespace

TEST(DdsParse, AcceptsTheListedFormats) {
    DdsImage img;
    ASSERT_TRUE(parses(make_dds(DDS_ARGB, 4, 4, 1), &img));
    EXPECT_EQ(img.format, D3DFMT_A8R8G8B8);
    ASSERT_TRUE(parses(make_dds(DDS_XRGB, 4, 4, 1), &img));
    EXPECT_EQ(img.format, D3DFMT_X8R8G8B8);
    ASSERT_TRUE(parses(make_dds(DDS_L8, 5, 3, 1), &img));
    EXPECT_EQ(img.format, D3DFMT_L8);
    ASSERT_TRUE(parses(make_dds(DDS_DXT1, 8, 8, 1), &img));
    EXPECT_EQ(img.format, D3DFMT_DXT1);
    ASSERT_TRUE(parses(make_dds(DDS_DXT5, 8, 8, 4), &img));
    EXPECT_EQ(img.levels, 4);
    EXPECT_EQ(img.data_size, size_t(64 + 16 + 16 + 16));
}

TEST(DdsParse, RejectsWhatIsNotAnAcceptedDds) {
    EXPECT_FALSE(parses(make_dds(DDS_RGB24, 4, 4, 1))) << "24-bit RGB";
    auto b = make_dds(DDS_ARGB, 4, 4, 1);
    b.pop_back();
    EXPECT_FALSE(parses(b)) << "one byte short";
    EXPECT_FALSE(parses(std::vector<uint8_t>(b.begin(), b.begin() + 100))) << "short header";
    auto bad = [](size_t at, uint32_t v) {
        auto f = make_dds(DDS_ARGB, 4, 4, 1);
        put32(f, at, v);
        return parses(f);
    };
    EXPECT_FALSE(bad(0, 0x20534443)) << "magic";
    EXPECT_FALSE(bad(4, 123)) << "header size";
    EXPECT_FALSE(bad(4 + 72, 24)) << "pixel format size";
    EXPECT_FALSE(bad(4 + 4, 0x1 | 0x4 | 0x1000)) << "no height flag";
    EXPECT_FALSE(bad(4 + 4, 0x1 | 0x2 | 0x4 | 0x1000 | 0x8 | 0x80000)) << "pitch and linear size";
    EXPECT_FALSE(bad(4 + 104, 0x2)) << "caps without texture";
    EXPECT_FALSE(bad(4 + 108, 0x200)) << "cube map";
    EXPECT_FALSE(bad(4 + 12, 0)) << "zero width";
    EXPECT_FALSE(bad(4 + 12, 0x7fffffff)) << "huge width";
    EXPECT_FALSE(bad(4 + 72 + 28, 0x00ff0000)) << "alpha flag with a wrong alpha mask";
    auto f = make_dds(DDS_DXT1, 8, 8, 1);
    memcpy(&f[4 + 72 + 8], "DXT2", 4);
    EXPECT_FALSE(parses(f)) << "DXT2";
    // A mip count beyond the chain, or levels the file does not hold.
    auto m = make_dds(DDS_ARGB, 4, 4, 3);
    put32(m, 4 + 24, 4);
    EXPECT_FALSE(parses(m));
    m = make_dds(DDS_ARGB, 4, 4, 3);
    m.resize(m.size() - 4);
    EXPECT_FALSE(parses(m));
    EXPECT_TRUE(parses(make_dds(DDS_ARGB, 4, 4, 3)));
}

TEST(DdsParse, NonSquareChainsEndAtOnePixelOrOneBlock) {
    DdsImage img;
    ASSERT_TRUE(parses(make_dds(DDS_ARGB, 8, 2, 4), &img));
    int row, rows;
    EXPECT_EQ(dds_level_size(img, 0, &row, &rows), 64u);
    EXPECT_EQ(dds_level_size(img, 1), 16u);
    EXPECT_EQ(dds_level_size(img, 2, &row, &rows), 8u);
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(dds_level_size(img, 3), 4u);
    ASSERT_TRUE(parses(make_dds(DDS_DXT1, 16, 4, 5), &img));
    EXPECT_EQ(dds_level_size(img, 0), 32u);
    EXPECT_EQ(dds_level_size(img, 2), 8u); // 4x1 still takes one block
    EXPECT_EQ(dds_level_size(img, 4), 8u);
    EXPECT_EQ(img.data_size, size_t(32 + 16 + 8 + 8 + 8));
}

using ResourceTest = RenderTest;

TEST_F(ResourceTest, RegistrySharesTexturesByPathIgnoringCase) {
    save(path("stone.dds"), make_dds(DDS_ARGB, 4, 4, 1));
    Texture* a = get_texture("stone.dds", true);
    ASSERT_NE(a, nullptr);
    Texture* b = get_texture("STONE.DDS", true);
    EXPECT_EQ(a, b);
    EXPECT_EQ(get_texture_refcount(a), 2);
    free_texture(a);
    EXPECT_EQ(get_texture_refcount(a), 1);
    EXPECT_TRUE(a->used);
    free_texture(b);
    EXPECT_EQ(get_texture_refcount(a), 0);
    EXPECT_FALSE(a->used);
    EXPECT_EQ(get_texture("missing.dds", false), nullptr);
    // A folder is refused as a missing file, not read as an 8 EiB texture.
    mkdir(path("folder.dds").c_str(), 0755);
    EXPECT_EQ(get_texture("folder.dds", false), nullptr);
}

TEST_F(ResourceTest, DdsLevelsAreUploadedWithTheirBytes) {
    auto file = make_dds(DDS_ARGB, 8, 2, 4);
    save(path("chain.dds"), file);
    Texture* t = get_texture("chain.dds", true);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->levels, 4);
    size_t offset = 128;
    const int sizes[4][2] = {{8, 2}, {4, 1}, {2, 1}, {1, 1}};
    for (int l = 0; l < 4; ++l) {
        size_t n = size_t(sizes[l][0] * sizes[l][1] * 4);
        std::vector<uint8_t> got(n);
        glGetTextureImage(t->gl_tex, l, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, GLsizei(n),
                          got.data());
        EXPECT_EQ(memcmp(got.data(), &file[offset], n), 0) << "level " << l;
        offset += n;
    }
    auto dxt = make_dds(DDS_DXT1, 8, 4, 4);
    save(path("dxt.dds"), dxt);
    Texture* c = get_texture("dxt.dds", true);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->levels, 4);
    offset = 128;
    for (int l = 0; l < 4; ++l) {
        size_t n = l == 0 ? 16 : 8; // 8x4 is two blocks, then one block per level
        std::vector<uint8_t> got(n);
        glGetCompressedTextureImage(c->gl_tex, l, GLsizei(n), got.data());
        EXPECT_EQ(memcmp(got.data(), &dxt[offset], n), 0) << "DXT1 level " << l;
        offset += n;
    }
    save(path("lum.dds"), make_dds(DDS_L8, 3, 2, 1));
    Texture* l8 = get_texture("lum.dds", true);
    uint8_t grey[6];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTextureImage(l8->gl_tex, 0, GL_RED, GL_UNSIGNED_BYTE, sizeof(grey), grey);
    EXPECT_EQ(memcmp(grey, &make_dds(DDS_L8, 3, 2, 1)[128], 6), 0);
}

TEST_F(ResourceTest, BrokenDdsIsFatalWithItsMessage) {
    auto f = make_dds(DDS_ARGB, 4, 4, 1);
    f.resize(f.size() - 1);
    save(path("short.dds"), f);
    EXPECT_EXIT(get_texture("short.dds", false), testing::ExitedWithCode(100),
                "Texture '.*short.dds' is not a DDS");
    EXPECT_EXIT(get_texture("missing.dds", true), testing::ExitedWithCode(100),
                "Can't load texture from '.*missing.dds'");
}

TEST_F(ResourceTest, SlotTablesStopAtTheirLimits) {
    std::vector<Texture*> texs;
    int free_slots = MAX_TEXTURES - used_texture_slots();
    for (int i = 0; i < free_slots; ++i) texs.push_back(create_texture(1, 1, 1, 0, D3DFMT_L8, 1));
    EXPECT_NE(texs.back(), nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(create_managed_texture(1, 1), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("reached MAX_TEXTURES"),
              std::string::npos);
    release_texture(texs[5]);
    EXPECT_EQ(create_managed_texture(1, 1), texs[5]) << "the freed slot is reused";

    std::vector<GpuBuffer*> bufs;
    for (int i = used_buffer_slots(false); i < MAX_BUFFERS; ++i) bufs.push_back(create_vb(4, 0));
    testing::internal::CaptureStdout();
    EXPECT_EQ(create_vb(4, 0), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("reached MAX_BUFFERS for VB"),
              std::string::npos);
    for (int i = used_buffer_slots(true); i < MAX_BUFFERS; ++i) bufs.push_back(create_ib(2, 1));
    testing::internal::CaptureStdout();
    EXPECT_EQ(create_ib(2, 1), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("reached MAX_BUFFERS for IB"),
              std::string::npos);

    release_texture(texs[6]);
    testing::internal::CaptureStdout();
    EXPECT_EQ(create_render_texture(4, 4, 9), nullptr);
    EXPECT_EQ(create_texture(1 << 20, 4, 1, 0, D3DFMT_A8R8G8B8, 1), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("error creating texture (code 0x"),
              std::string::npos);
}

TEST_F(ResourceTest, LocksReadBackAndCheckTheirRange) {
    Texture* t = create_managed_texture(3, 2);
    int pitch = 0;
    auto* p = static_cast<uint32_t*>(lock_texture(t, pitch, true));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(pitch, 12);
    for (int i = 0; i < 6; ++i) p[i] = 0xff000000u + uint32_t(i);
    unlock_texture(t);
    p = static_cast<uint32_t*>(lock_texture(t, pitch, false));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[5], 0xff000005u) << "a lock without discard sees the contents";
    unlock_texture(t);

    GpuBuffer* vb = create_vb(16, BUF_STATIC);
    EXPECT_EQ(lock_vb(vb, 8, 16), nullptr);
    EXPECT_EQ(lock_vb(vb, -4, 4), nullptr);
    EXPECT_NE(lock_vb(vb, 8, 8), nullptr);
    EXPECT_EQ(lock_vb(vb, 0, 0), nullptr) << "already locked";
    unlock_vb(vb);
    EXPECT_EQ(create_ib(0, 0), nullptr);
}

TEST_F(ResourceTest, RectWritesLandOnlyInTheirRectangleAndRefuseBadOnes) {
    Texture* t = create_managed_texture(4, 3);
    const uint32_t zero[12] = {}, rect[4] = {0xff000001u, 0xff000002u, 0xff000003u, 0xff000004u};
    ASSERT_TRUE(write_texture_rect(t, 0, 0, 0, 4, 3, zero));
    ASSERT_TRUE(write_texture_rect(t, 0, 2, 1, 2, 2, rect)); // bottom-right 2 x 2, rows packed
    uint32_t got[12];
    glGetTextureImage(t->gl_tex, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, sizeof(got), got);
    const uint32_t want[12] = {0,           0,           0, 0, 0,           0,
                               0xff000001u, 0xff000002u, 0, 0, 0xff000003u, 0xff000004u};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(got[i], want[i]) << i;
    EXPECT_FALSE(write_texture_rect(t, 0, 3, 0, 2, 1, rect)) << "past the right edge";
    EXPECT_FALSE(write_texture_rect(t, 0, 0, -1, 1, 1, rect));
    EXPECT_FALSE(write_texture_rect(t, 0, 0, 0, 0, 1, rect));
    EXPECT_FALSE(write_texture_rect(t, 1, 0, 0, 1, 1, rect)) << "no such level";
    EXPECT_FALSE(write_texture_rect(t, 0, 0, 0, 1, 1, nullptr));
    Texture* dxt = create_texture(8, 8, 1, 0, D3DFMT_DXT1, 1);
    EXPECT_FALSE(write_texture_rect(dxt, 0, 0, 0, 4, 4, rect)) << "compressed";
}

TEST_F(ResourceTest, EqualDescriptorListsShareADeclaration) {
    const VertexElementDesc a[] = {
        {0, 0, VSD_FLOAT3, VSD_POSITION, 0}, {12, 0, VSD_FLOAT2, VSD_TEXCOORD, 0}, VSD_END};
    const VertexElementDesc b[] = {
        {0, 0, VSD_FLOAT3, VSD_POSITION, 0}, {12, 0, VSD_FLOAT2, VSD_TEXCOORD, 0}, VSD_END};
    const VertexElementDesc c[] = {
        {0, 0, VSD_FLOAT3, VSD_POSITION, 0}, {12, 0, VSD_FLOAT2, VSD_TEXCOORD, 1}, VSD_END};
    // Usage codes above 3 all mean tangent.
    const VertexElementDesc t4[] = {{0, 0, VSD_FLOAT3, 4, 0}, VSD_END};
    const VertexElementDesc t9[] = {{0, 0, VSD_FLOAT3, 9, 0}, VSD_END};
    int before = vertex_decl_count();
    EXPECT_EQ(get_vertex_decl(a), get_vertex_decl(b));
    EXPECT_NE(get_vertex_decl(a), get_vertex_decl(c));
    EXPECT_EQ(get_vertex_decl(t4), get_vertex_decl(t9));
    EXPECT_EQ(vertex_decl_count(), before + 3);
}

TEST_F(ResourceTest, DeclarationFailuresAreFatal) {
    const VertexElementDesc bad[] = {{0, 0, 42, VSD_POSITION, 0}, VSD_END};
    EXPECT_EXIT(get_vertex_decl(bad), testing::ExitedWithCode(100),
                "failed to create vertex declaration \\(code 0x8876086C\\)");
    std::vector<VertexElementDesc> many(40, VertexElementDesc{0, 0, VSD_FLOAT1, VSD_TEXCOORD, 0});
    EXPECT_EXIT(get_vertex_decl(many.data()), testing::ExitedWithCode(100),
                "failed ASSERT\\(i<MAX_VDECL_LEN\\)");
}

TEST_F(ResourceTest, MeshLoadsWithEveryField) {
    save(path("tri.mesh"), triangle_mesh().file());
    Mesh* m = get_mesh("tri.mesh", true);
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->shader_lo, "obj_low.sh");
    EXPECT_STREQ(m->shader_hi, "obj_high.sh");
    ASSERT_EQ(m->textures.num, 2);
    EXPECT_STREQ(m->textures[1].name, "stone_n.dds");
    ASSERT_EQ(m->shadow_balls.num, 1);
    EXPECT_EQ(m->shadow_balls[0].radius, 0.5f);
    ASSERT_EQ(m->vsd.num, 2);
    EXPECT_EQ(m->vsd[1].offset, 12);
    EXPECT_EQ(m->stride, 16);
    EXPECT_EQ(m->num_verts, 3);
    EXPECT_EQ(m->num_tris, 1);
    uint8_t verts[48];
    glGetNamedBufferSubData(m->vb->gl_buf, 0, 48, verts);
    EXPECT_EQ(verts[47], 47);
    EXPECT_EQ(get_mesh("TRI.MESH", true), m);
    EXPECT_EQ(m->refcount, 2);
    free_mesh(m);
    EXPECT_EQ(m->refcount, 1);
    free_mesh(m);
    EXPECT_EQ(get_mesh("absent.mesh", false), nullptr);
    Mesh* kept = get_mesh("tri.mesh", true);
    int vbs = used_buffer_slots(false);
    close_d3d(); // the device takes the cached meshes down with it
    ASSERT_TRUE(init_d3d(window, 64, 64));
    EXPECT_LT(used_buffer_slots(false), vbs);
    EXPECT_NE(get_mesh("tri.mesh", true), nullptr);
    (void)kept;
}

TEST_F(ResourceTest, MeshErrorsCarryTheirOffsets) {
    int vb_before = used_buffer_slots(false);
    save(path("v.mesh"), triangle_mesh().file(0x12040901));
    EXPECT_EQ(mesh_error(path("v.mesh")), "Invalid mesh file version @-1");

    auto full = triangle_mesh().file();
    auto cut = full;
    cut.resize(full.size() - 10);
    save(path("cut.mesh"), cut);
    EXPECT_EQ(mesh_error(path("cut.mesh")), "error reading file @" + std::to_string(cut.size()));

    // A payload size that agrees with the file but counts that overrun it.
    MeshFile m = triangle_mesh();
    m.payload.resize(m.payload.size() - 6);
    save(path("short.mesh"), m.file());
    EXPECT_EQ(mesh_error(path("short.mesh")), "error reading file @" + std::to_string(8 + 92 + 48));

    save(path("idx.mesh"), triangle_mesh(3).file());
    EXPECT_EQ(mesh_error(path("idx.mesh")),
              "vertex index out of range @" + std::to_string(8 + 92 + 48 + 4));

    MeshFile longname;
    longname.str("a.sh");
    longname.str("b.sh");
    longname.u8(1);
    longname.str(std::string(64, 'x').c_str());
    save(path("name.mesh"), longname.file());
    EXPECT_EQ(mesh_error(path("name.mesh")), "name too long @21");

    save(path("tiny.mesh"), std::vector<uint8_t>{0, 9, 4});
    EXPECT_EQ(mesh_error(path("tiny.mesh")), "error reading file @3");
    EXPECT_EQ(mesh_error(path("none.mesh")), "Can't open file @-1");
    EXPECT_EQ(used_buffer_slots(false), vb_before) << "a failed load leaves no buffer behind";

    EXPECT_EXIT(
        get_mesh("idx.mesh", true), testing::ExitedWithCode(100),
        "Error reading mesh file '.*idx.mesh':\nvertex index out of range \\(offset 152\\)");
}
