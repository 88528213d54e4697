#include "render/textures.h"

#include "platform/log.h"
#include "render/d3d_types.h"
#include "render/device.h"
#include "render/device_internal.h"

#include <cstdlib>
#include <cstring>

namespace {
struct FormatInfo {
    int d3d;
    GLenum internal, format, type;
    int pixel_size; // 0: block compressed
    int block_size;
    GLint swizzle[4];
};

constexpr GLint R = GL_RED, G = GL_GREEN, B = GL_BLUE, A = GL_ALPHA, ONE = GL_ONE;
// Sampling returns what Direct3D 9 returns: missing channels read 1, L8 is grey.
const FormatInfo formats[] = {
    {D3DFMT_A8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, 0, {R, G, B, A}},
    {D3DFMT_X8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, 0, {R, G, B, ONE}},
    {D3DFMT_G16R16, GL_RG16, GL_RG, GL_UNSIGNED_SHORT, 4, 0, {R, G, ONE, ONE}},
    {D3DFMT_L8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, 0, {R, R, R, ONE}},
    {D3DFMT_R16F, GL_R16F, GL_RED, GL_HALF_FLOAT, 2, 0, {R, ONE, ONE, ONE}},
    {D3DFMT_G16R16F, GL_RG16F, GL_RG, GL_HALF_FLOAT, 4, 0, {R, G, ONE, ONE}},
    {D3DFMT_A16B16G16R16F, GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, 8, 0, {R, G, B, A}},
    {D3DFMT_R32F, GL_R32F, GL_RED, GL_FLOAT, 4, 0, {R, ONE, ONE, ONE}},
    {D3DFMT_G32R32F, GL_RG32F, GL_RG, GL_FLOAT, 8, 0, {R, G, ONE, ONE}},
    {D3DFMT_A32B32G32R32F, GL_RGBA32F, GL_RGBA, GL_FLOAT, 16, 0, {R, G, B, A}},
    {D3DFMT_DXT1, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, 0, 8, {R, G, B, A}},
    {D3DFMT_DXT3, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 0, 16, {R, G, B, A}},
    {D3DFMT_DXT5, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 0, 16, {R, G, B, A}},
};

const int rt_formats[9] = {D3DFMT_UNKNOWN, D3DFMT_A8R8G8B8, D3DFMT_G16R16,
                           D3DFMT_R16F,    D3DFMT_G16R16F,  D3DFMT_A16B16G16R16F,
                           D3DFMT_R32F,    D3DFMT_G32R32F,  D3DFMT_A32B32G32R32F};

Texture tex_table[MAX_TEXTURES];
int64_t bytes_in_use = 0;

const FormatInfo* find_format(int d3d) {
    for (const FormatInfo& f : formats)
        if (f.d3d == d3d) return &f;
    return nullptr;
}

int chain_length(int w, int h) {
    int n = 1;
    while (w > 1 || h > 1) {
        w >>= 1;
        h >>= 1;
        ++n;
    }
    return n;
}

void level_dims(const Texture* t, int level, int& w, int& h) {
    w = texture_width(t) >> level;
    h = texture_height(t) >> level;
    if (w < 1) w = 1;
    if (h < 1) h = 1;
}

// Row length and row count of a level in lock memory (rows of 4x4 blocks when compressed).
void level_layout(const Texture* t, const FormatInfo* f, int level, int& pitch, int& rows) {
    int w, h;
    level_dims(t, level, w, h);
    if (f->block_size) {
        pitch = ((w + 3) / 4) * f->block_size;
        rows = (h + 3) / 4;
    } else {
        pitch = w * f->pixel_size;
        rows = h;
    }
}

int64_t texture_size_bytes(const Texture* t, const FormatInfo* f) {
    int64_t total = 0;
    for (int i = 0; i < t->levels; ++i) {
        int pitch, rows;
        level_layout(t, f, i, pitch, rows);
        total += int64_t(pitch) * rows;
    }
    return total;
}

// Creates the device texture from the slot's recorded parameters; a GL error or 0.
uint32_t create_device_texture(Texture* t) {
    const FormatInfo* f = find_format(t->format);
    int w = texture_width(t), h = texture_height(t);
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    if (!f || w <= 0 || h <= 0 || w > max_size || h > max_size) return D3DERR_INVALIDCALL;
    int levels = t->levels == 0 ? chain_length(w, h) : t->levels;
    if (levels < 0 || levels > chain_length(w, h)) return D3DERR_INVALIDCALL;
    clear_gl_errors();
    glCreateTextures(GL_TEXTURE_2D, 1, &t->gl_tex);
    glTextureStorage2D(t->gl_tex, levels, f->internal, w, h);
    glTextureParameteriv(t->gl_tex, GL_TEXTURE_SWIZZLE_RGBA, f->swizzle);
    uint32_t err = take_gl_error();
    if (err) {
        glDeleteTextures(1, &t->gl_tex);
        t->gl_tex = 0;
        return err;
    }
    t->levels = levels;
    t->mem_bytes = texture_size_bytes(t, f);
    bytes_in_use += t->mem_bytes;
    return 0;
}

void release_device_texture(Texture* t) {
    if (!t->gl_tex) return;
    free(t->lock_mem);
    t->lock_mem = nullptr;
    dev_forget_texture(t->gl_tex);
    glDeleteTextures(1, &t->gl_tex);
    t->gl_tex = 0;
    bytes_in_use -= t->mem_bytes;
    t->mem_bytes = 0;
}
} // namespace

int texture_width(const Texture* tex) {
    return tex->width == 0 && tex->height == 0 ? d3d_wd : tex->width;
}
int texture_height(const Texture* tex) {
    return tex->width == 0 && tex->height == 0 ? d3d_ht : tex->height;
}

bool copy_texture(Texture* dst, const Texture* src) {
    if (!dst || !src || !dst->gl_tex || !src->gl_tex || dst == src) return false;
    const int w = texture_width(src), h = texture_height(src);
    if (texture_width(dst) != w || texture_height(dst) != h || dst->format != src->format)
        return false;
    glCopyImageSubData(src->gl_tex, GL_TEXTURE_2D, 0, 0, 0, 0, dst->gl_tex, GL_TEXTURE_2D, 0, 0, 0,
                       0, w, h, 1);
    return true;
}

int64_t texture_bytes_in_use() {
    return bytes_in_use;
}
GLuint texture_gl_name(Texture* tex) {
    return tex ? tex->gl_tex : 0;
}

Texture* create_texture(int width, int height, int levels, int usage, int format, int pool) {
    Texture* t = nullptr;
    for (int i = 0; i < MAX_TEXTURES && !t; ++i)
        if (!tex_table[i].used) t = &tex_table[i];
    if (!t) {
        debug("reached MAX_TEXTURES");
        return nullptr;
    }
    *t = Texture{};
    t->width = width;
    t->height = height;
    t->levels = levels;
    t->usage = usage;
    t->format = format;
    t->pool = pool;
    t->lock_level = -1;
    if (uint32_t err = create_device_texture(t)) {
        debug("error creating texture (code 0x%08X)", err);
        return nullptr;
    }
    t->used = true;
    return t;
}

Texture* create_managed_texture(int width, int height) {
    return create_texture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
}

Texture* create_render_texture(int width, int height, int format_code) {
    int format = format_code >= 1 && format_code <= 8 ? rt_formats[format_code] : D3DFMT_UNKNOWN;
    return create_texture(width, height, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT);
}

Texture* create_screen_texture() {
    return create_render_texture(0, 0, 1);
}

void release_texture(Texture* tex) {
    if (!tex) return;
    release_device_texture(tex);
    tex->used = false;
}

void* lock_texture_level(Texture* tex, int level, int& pitch, bool discard) {
    if (!tex || !tex->gl_tex || tex->lock_mem || level < 0 || level >= tex->levels) return nullptr;
    const FormatInfo* f = find_format(tex->format);
    int rows;
    level_layout(tex, f, level, pitch, rows);
    size_t size = size_t(pitch) * size_t(rows);
    void* mem = malloc(size);
    if (!mem) return nullptr;
    if (!discard) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        if (f->block_size)
            glGetCompressedTextureImage(tex->gl_tex, level, GLsizei(size), mem);
        else
            glGetTextureImage(tex->gl_tex, level, f->format, f->type, GLsizei(size), mem);
    }
    tex->lock_mem = mem;
    tex->lock_level = level;
    return mem;
}

void unlock_texture_level(Texture* tex) {
    if (!tex || !tex->lock_mem) return;
    const FormatInfo* f = find_format(tex->format);
    int w, h, pitch, rows;
    level_dims(tex, tex->lock_level, w, h);
    level_layout(tex, f, tex->lock_level, pitch, rows);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (f->block_size)
        glCompressedTextureSubImage2D(tex->gl_tex, tex->lock_level, 0, 0, w, h, f->internal,
                                      pitch * rows, tex->lock_mem);
    else
        glTextureSubImage2D(tex->gl_tex, tex->lock_level, 0, 0, w, h, f->format, f->type,
                            tex->lock_mem);
    free(tex->lock_mem);
    tex->lock_mem = nullptr;
    tex->lock_level = -1;
}

bool write_texture_rect(Texture* tex, int level, int x, int y, int w, int h, const void* texels) {
    if (!tex || !tex->gl_tex || !texels || level < 0 || level >= tex->levels) return false;
    const FormatInfo* f = find_format(tex->format);
    int lw, lh;
    level_dims(tex, level, lw, lh);
    if (!f || f->block_size || x < 0 || y < 0 || w <= 0 || h <= 0 || w > lw - x || h > lh - y)
        return false;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTextureSubImage2D(tex->gl_tex, level, x, y, w, h, f->format, f->type, texels);
    return true;
}

void* lock_texture(Texture* tex, int& pitch, bool discard) {
    void* p = lock_texture_level(tex, 0, pitch, discard);
    if (!p && tex) debug("error locking texture (code 0x%08X)", D3DERR_INVALIDCALL);
    return p;
}

void unlock_texture(Texture* tex) {
    unlock_texture_level(tex);
}

void bind_texture(int stage, Texture* tex) {
    if (stage < 0 || stage >= MAX_TEXTURE_STAGES || !g_dev.open) return;
    glBindTextureUnit(GLuint(stage), tex ? tex->gl_tex : 0);
}

void release_default_textures() {
    for (int i = 0; i < MAX_TEXTURE_STAGES; ++i) bind_texture(i, nullptr);
    for (Texture& t : tex_table)
        if (t.used && t.pool == D3DPOOL_DEFAULT) release_device_texture(&t);
}

void recreate_default_textures() {
    for (Texture& t : tex_table) {
        if (!t.used || t.pool != D3DPOOL_DEFAULT || t.gl_tex) continue;
        if (uint32_t err = create_device_texture(&t))
            debug("error recreating texture (code 0x%08X)", err);
    }
}

void release_all_texture_slots() {
    free_all_textures();
    for (Texture& t : tex_table) release_texture(&t);
}

int used_texture_slots() {
    int n = 0;
    for (const Texture& t : tex_table) n += t.used;
    return n;
}
