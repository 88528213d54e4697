#include "render_fixture.h"

#include "render/buffers.h"
#include "render/shaders.h"
#include "render/vertex_decl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <ftw.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

int frames_rendered = 0;
namespace {
void count_frame(float) {
    ++frames_rendered;
}
} // namespace

const char* COLOR_SHADER = R"(
#ifdef VSH
in vec4 POSITION;
in vec4 COLOR;
VARYING vec4 col;
void vsh() { gl_Position = POSITION; col = COLOR; }
#endif
#ifdef PSH
VARYING vec4 col;
void psh() { oC0 = col; }
#endif
)";

const char* CONST_SHADER = R"(
#ifdef VSH
in vec4 POSITION;
void vsh() { gl_Position = POSITION; }
#endif
#ifdef PSH
void psh() { oC0 = pc[0]; }
#endif
)";

// The GL driver keeps a few small blocks to the end of the process; once SDL has unloaded
// it, the leak checker cannot name them. Keeping every loaded library mapped lets the
// reports carry the driver's name, which the suppressions below match.
static int pin_module(struct dl_phdr_info* info, size_t, void*) {
    if (info->dlpi_name && *info->dlpi_name)
        dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    return 0;
}

void RenderTest::open(int w, int h) {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    const char* base = getenv("VELTMOOR_TEST_OUT");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/render_XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back(0);
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    dir = std::string(buf.data()) + "/";
    snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
    mkdir(path("cache").c_str(), 0755);
    window = SDL_CreateWindow("render test", 0, 0, w, h, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    isFullscreen = false;
    app_use_vsync = false;
    ASSERT_TRUE(init_d3d(window, w, h));
    on_d3d_render_frame = count_frame;
    dl_iterate_phdr(pin_module, nullptr);
}

static int remove_entry(const char* p, const struct stat*, int, struct FTW*) {
    return remove(p);
}

void RenderTest::TearDown() {
    close_d3d();
    if (window) SDL_DestroyWindow(window);
    window = nullptr;
    if (!dir.empty()) nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    SDL_Quit();
}

void RenderTest::writeFile(const char* name, const std::string& text) {
    FILE* f = fopen(path(name).c_str(), "wb");
    ASSERT_NE(f, nullptr) << name;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

void RenderTest::setFileTime(const char* name, int64_t time) {
    struct utimbuf t = {time_t(time), time_t(time)};
    ASSERT_EQ(utime(path(name).c_str(), &t), 0) << name;
}

Shader* RenderTest::loadShader(const char* name, const char* text) {
    writeFile(name, text);
    return get_shader(name);
}

static std::vector<uint32_t> read_gl_texture(GLuint tex, int w, int h) {
    std::vector<uint32_t> px(size_t(w) * size_t(h));
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTextureImage(tex, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, GLsizei(px.size() * 4),
                      px.data());
    return px;
}

std::vector<uint32_t> RenderTest::readTexture(Texture* tex) {
    return read_gl_texture(tex->gl_tex, texture_width(tex), texture_height(tex));
}

std::vector<uint32_t> RenderTest::readBackBuffer() {
    return read_gl_texture(g_dev.back_tex[g_dev.back_cur], d3d_wd, d3d_ht);
}

void draw_color_tris(const ColorVertex* v, int count) {
    static const VertexElementDesc desc[] = {
        {0, 0, VSD_FLOAT3, VSD_POSITION, 0}, {12, 0, VSD_COLOR32, VSD_COLOR, 0}, VSD_END};
    GpuBuffer* vb = create_vb(int(sizeof(ColorVertex)) * count, 0);
    ASSERT_NE(vb, nullptr);
    void* p = lock_vb(vb, 0, 0);
    ASSERT_NE(p, nullptr);
    memcpy(p, v, sizeof(ColorVertex) * size_t(count));
    unlock_vb(vb);
    set_vertex_decl(get_vertex_decl(desc));
    set_vb(0, vb, 0, sizeof(ColorVertex));
    draw_prim(PRIM_TRIANGLELIST, 0, count / 3);
    set_vb(0, nullptr, 0, 0);
    release_vb(vb);
}

// Leaks inside the sanitizer runtime and the GL driver stacks are not ours; LeakSanitizer
// reads these at start (only in sanitizer builds).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libubsan.so\nleak:libLLVM\nleak:swrast_dri.so\nleak:libgallium\nleak:libEGL_mesa."
           "so\n";
}
