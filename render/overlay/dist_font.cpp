#include "render/overlay/dist_font.h"

#include "platform/file_stream.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "render/dds.h"
#include "render/device.h"
#include "render/overlay/render_batch.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "render/vertex_decl.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

DistFont default_font;

namespace {
Shader* dist_shader = nullptr;
VertexDecl* dist_decl = nullptr;

const VertexElementDesc DIST_VSD[] = {
    {0, 0, VSD_FLOAT2, VSD_POSITION, 0},   {8, 0, VSD_COLOR32, VSD_COLOR, 0},
    {12, 0, VSD_COLOR32, VSD_COLOR, 1},    {16, 0, VSD_FLOAT2, VSD_TEXCOORD, 0},
    {24, 0, VSD_COLOR32, VSD_TEXCOORD, 1}, VSD_END};

enum { MAX_CODE = 0x10FFFF, LINE_CHARS = 256 };

template <typename T>
void swap_arrays(DynArray<T>& a, DynArray<T>& b) {
    T* items = a.items;
    int num = a.num, cap = a.capacity;
    a.items = b.items;
    a.num = b.num;
    a.capacity = b.capacity;
    b.items = items;
    b.num = num;
    b.capacity = cap;
}

bool read_line(FILE* f, char* line) {
    if (!fgets(line, LINE_CHARS, f)) return false;
    line[strcspn(line, "\r\n")] = 0;
    return true;
}

bool finite_all(const float* v, int n) {
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

// The page must be a DDS the loader accepts: the loader treats a malformed file as fatal.
bool page_is_valid_dds(const char* path) {
    FILE* f = open_regular_file(path);
    if (!f) return false;
    bool ok = false;
    if (fseek(f, 0, SEEK_END) == 0) {
        long len = ftell(f);
        if (len > 0 && fseek(f, 0, SEEK_SET) == 0) {
            uint8_t* data = static_cast<uint8_t*>(malloc(size_t(len)));
            DdsImage img;
            ok = data && fread(data, 1, size_t(len), f) == size_t(len) &&
                 parse_dds(data, size_t(len), img);
            free(data);
        }
    }
    fclose(f);
    return ok;
}

uint8_t pack_byte(float v) {
    v = v < 0 ? 0 : v > 1 ? 1 : v;
    if (!(v == v)) v = 0;
    return uint8_t(lroundf(v * 255.0f));
}

// Everything a description holds, parsed before the font is touched.
struct Parsed {
    int size = 0, spread = 0, lineHeight = 0, scaleW = 0, scaleH = 0;
    char page[LINE_CHARS] = {};
    DynArray<DistFont::Glyph> glyphs;
    DynArray<DistFont::CharRange> charRanges;
    DynArray<DistFont::Kerning> kernings;
    DynArray<DistFont::KerningRange> kerningRanges;
};

bool parse_chars(FILE* f, char* line, Parsed& p) {
    int count = 0;
    if (!read_line(f, line) || sscanf(line, "chars count=%d", &count) != 1 || count < 0)
        return false;
    for (int i = 0; i < count; ++i) {
        int id = 0;
        float v[7];
        if (!read_line(f, line) ||
            sscanf(line,
                   "char id=%d x=%f y=%f width=%f height=%f xoffset=%f yoffset=%f xadvance=%f", &id,
                   &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]) != 8)
            return false;
        if (id < 0 || id > MAX_CODE || !finite_all(v, 7) || v[2] < 0 || v[3] < 0) return false;
        DistFont::Glyph g = {
            v[0] / float(p.scaleW), v[1] / float(p.scaleH), v[2], v[3], v[4], v[5], v[6]};
        if (p.charRanges.num > 0 && p.charRanges[p.charRanges.num - 1].end == id)
            ++p.charRanges[p.charRanges.num - 1].end;
        else
            p.charRanges.push_back(DistFont::CharRange{id, id + 1, p.glyphs.num});
        p.glyphs.push_back(g);
    }
    return true;
}

bool parse_kernings(FILE* f, char* line, Parsed& p) {
    int count = 0;
    if (!read_line(f, line) || sscanf(line, "kernings count=%d", &count) != 1 || count < 0)
        return false;
    for (int i = 0; i < count; ++i) {
        int first = 0, second = 0;
        float amount = 0;
        if (!read_line(f, line) ||
            sscanf(line, "kerning first=%d second=%d amount=%f", &first, &second, &amount) != 3)
            return false;
        if (first < 0 || first > MAX_CODE || second < 0 || second > MAX_CODE ||
            !std::isfinite(amount))
            return false;
        DistFont::KerningRange* last =
            p.kerningRanges.num ? &p.kerningRanges[p.kerningRanges.num - 1] : nullptr;
        if (last && last->first == first)
            ++last->count;
        else
            p.kerningRanges.push_back(DistFont::KerningRange{first, p.kernings.num, 1});
        p.kernings.push_back(DistFont::Kerning{second, amount});
    }
    return true;
}

bool parse_description(FILE* f, Parsed& p) {
    char line[LINE_CHARS], name[LINE_CHARS];
    if (!read_line(f, line) ||
        sscanf(line, "info face=\"%255[^\"]\" size=%d spread=%d", name, &p.size, &p.spread) != 3)
        return false;
    if (!read_line(f, line) || sscanf(line, "common lineHeight=%d base=0 scaleW=%d scaleH=%d",
                                      &p.lineHeight, &p.scaleW, &p.scaleH) != 3)
        return false;
    // Sizes feed divisions and the pixel scale of every glyph.
    if (p.size <= 0 || p.spread < 0 || p.scaleW <= 0 || p.scaleH <= 0) return false;
    if (!read_line(f, line) || sscanf(line, "page id=0 file=\"%255[^\"]\"", p.page) != 1)
        return false;
    if (!parse_chars(f, line, p)) return false;
    return p.glyphs.num == 0 || parse_kernings(f, line, p);
}
} // namespace

// [SECTION] loading

DistFont::~DistFont() {
    // At exit the device (and the texture registry) may be gone already.
    if (!is_d3d_open()) texture = nullptr;
    clear();
}

void DistFont::clear() {
    delete batchState;
    batchState = nullptr;
    if (texture) free_texture(texture);
    texture = nullptr;
    glyphs.clear();
    charRanges.clear();
    kernings.clear();
    kerningRanges.clear();
    size = spread = lineHeight = 0;
    invScaleW = invScaleH = 0;
}

bool DistFont::load(const char* path) {
    Parsed p;
    FILE* f = open_regular_file(make_full_path(path), "rt");
    bool ok = f && parse_description(f, p);
    if (f) fclose(f);
    Texture* tex = nullptr;
    if (ok) {
        char page[300];
        snprintf(page, sizeof(page), "%s.dds", make_full_path(p.page).c_str());
        ok = page_is_valid_dds(page) && (tex = get_texture(page, false)) != nullptr;
    }
    if (!ok) {
        debug("can't load distance-field font '%s'", path);
        clear();
        return false;
    }
    if (texture) free_texture(texture);
    texture = tex;
    size = p.size;
    spread = p.spread;
    lineHeight = p.lineHeight;
    invScaleW = 1.0f / float(p.scaleW);
    invScaleH = 1.0f / float(p.scaleH);
    swap_arrays(glyphs, p.glyphs);
    swap_arrays(charRanges, p.charRanges);
    swap_arrays(kernings, p.kernings);
    swap_arrays(kerningRanges, p.kerningRanges);
    if (!batchState) {
        batchState = new DistFontBatchState;
        batchState->shader = dist_shader;
        batchState->vdecl = dist_decl;
        batchState->stride = int(sizeof(DistFontVertex));
    }
    batchState->texture = texture;
    return true;
}

// [SECTION] layout

const DistFont::Glyph* DistFont::getGlyph(int code) const {
    for (const CharRange& r : charRanges)
        if (code >= r.first && code < r.end) return &glyphs[r.glyph + code - r.first];
    return nullptr;
}

float DistFont::getKerning(int prev, int code) const {
    if (prev < 0) return 0;
    for (const KerningRange& r : kerningRanges) {
        if (r.first != prev) continue;
        for (int i = r.start; i < r.start + r.count; ++i)
            if (kernings[i].second == code) return kernings[i].amount;
        return 0;
    }
    return 0;
}

namespace {
// Walks a text; calls emit(glyph, x, y, kerning) for every glyph with a width, with the pen
// position and line in font pixels.
template <typename Emit>
void walk_text(const DistFont& font, const char* text, int len, Emit&& emit) {
    float pen = 0, line_y = 0;
    int prev = -1;
    for (int i = 0; i < len; ++i) {
        int code = static_cast<unsigned char>(text[i]);
        if (code == '\n') {
            prev = -1;
            pen = 0;
            line_y += float(font.lineHeight);
            continue;
        }
        if (const DistFont::Glyph* g = font.getGlyph(code)) {
            float k = font.getKerning(prev, code);
            if (g->width != 0) emit(*g, pen, line_y, k);
            pen += k + g->xadvance;
        }
        prev = code;
    }
}
} // namespace

vec4f DistFont::calcTextBox(const char* text, int len, int* glyph_count) const {
    if (!text)
        len = 0;
    else if (len < 0)
        len = int(strlen(text));
    vec4f box = make4f(0, 0, 0, 0);
    int n = 0;
    walk_text(*this, text, len, [&](const Glyph& g, float pen, float line_y, float k) {
        float x0 = pen + g.xoffset + k, y0 = line_y - g.yoffset;
        box.x = x0 < box.x ? x0 : box.x;
        box.y = y0 < box.y ? y0 : box.y;
        box.z = x0 + g.width > box.z ? x0 + g.width : box.z;
        box.w = y0 + g.height > box.w ? y0 + g.height : box.w;
        ++n;
    });
    if (n > 0) {
        const float s = float(spread);
        box = make4f(box.x + s, box.y + s, box.z - s, box.w - s);
    }
    if (glyph_count) *glyph_count = n;
    return box;
}

uint32_t pack_dist_font_params(const DistFont& font, float size_px, float edge, float offset_x,
                               float offset_y, float outer_edge) {
    const float scale = size_px / float(font.size > 0 ? font.size : 1);
    const float s = scale * float(font.spread);
    const float fs = float(font.size);
    const uint8_t a = pack_byte(0.5f - (edge + 1.0f) / (4.0f * s));
    const uint8_t r = pack_byte(0.5f - 32.0f * (fs * offset_x * 0.01f * font.invScaleW));
    const uint8_t g = pack_byte(0.5f - 32.0f * (fs * offset_y * 0.01f * font.invScaleH));
    const uint8_t b = pack_byte(0.5f - (outer_edge + 1.0f) / (4.0f * s));
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

static float align_origin(int mode, float lo, float hi, float b_lo, float b_hi) {
    if (mode == 1) return lo - b_lo;
    if (mode == 2) return hi - b_hi;
    return ((lo - b_lo) + (hi - b_hi)) * 0.5f;
}

void DistFont::renderText(RenderBatch& batch, const vec4f& rect, int align, D3dColor color,
                          float size_px, const char* text, int len, float edge, float offset_x,
                          float offset_y, float outer_edge, D3dColor color2,
                          BaseRenderBatchState* state) const {
    if (!text)
        len = 0;
    else if (len < 0)
        len = int(strlen(text));
    if (size <= 0) return; // not loaded
    const float scale = size_px / float(size);
    const float pad = scale * float(spread);
    const uint32_t params =
        pack_dist_font_params(*this, size_px, edge, offset_x, offset_y, outer_edge);
    if (!state) state = batchState;

    int n = 0;
    const vec4f box = calcTextBox(text, len, &n);
    const vec4f b = make4f(box.x * scale, box.y * scale, box.z * scale, box.w * scale);
    const float ox = align_origin(align & 3, rect.x, rect.z, b.x, b.z);
    const float oy = align_origin((align >> 2) & 3, rect.y, rect.w, b.y, b.w);
    const vec4f piece = make4f(ox + b.x - pad, oy + b.y - pad, ox + b.z + pad, oy + b.w + pad);
    DistFontVertex* v = static_cast<DistFontVertex*>(
        batch.add(state, piece, n * 6 * int(sizeof(DistFontVertex)), 2 * n));

    const float iw = invScaleW, ih = invScaleH;
    walk_text(*this, text, len, [&](const Glyph& g, float pen, float line_y, float k) {
        const float x0 = ox + scale * (pen + g.xoffset + k), y0 = oy + scale * (line_y - g.yoffset);
        const float x1 = x0 + scale * g.width, y1 = y0 + scale * g.height;
        const float u0 = g.x, v0 = g.y, u1 = g.x + g.width * iw, v1 = g.y + g.height * ih;
        const DistFontVertex c0 = {x0, y0, color, color2, u0, v0, params};
        const DistFontVertex c1 = {x1, y0, color, color2, u1, v0, params};
        const DistFontVertex c2 = {x1, y1, color, color2, u1, v1, params};
        const DistFontVertex c3 = {x0, y1, color, color2, u0, v1, params};
        v[0] = c0;
        v[1] = c1;
        v[2] = c2;
        v[3] = c0;
        v[4] = c2;
        v[5] = c3;
        v += 6;
    });
}

// [SECTION] render states

void init_dist_fonts() {
    dist_decl = get_vertex_decl(DIST_VSD);
    dist_shader = get_shader("distfont.sh");
}

void close_dist_fonts() {
    if (is_d3d_open()) release_shader(dist_shader); // else close_d3d released it
    dist_shader = nullptr;
    dist_decl = nullptr;
}

void start_dist_font_render() {
    const float wd = float(d3d_wd), ht = float(d3d_ht);
    const float c[4] = {2.0f / wd, -2.0f / ht, -1.0f - 0.5f / wd, 1.0f + 0.5f / ht};
    set_vs_consts(16, c, 1);
    set_cull_mode(0);
    set_zenable(false);
    set_zwrite(false);
    set_blend_prealpha();
    set_atest(0);
}

void end_dist_font_render() {
    set_cull_mode(1);
    set_zenable(true);
    set_zwrite(true);
    set_blend_none();
}
