#include "overlay_test_util.h"

#include "render/device_internal.h"
#include "render/overlay/debug_vis.h"
#include "render/overlay/dist_font.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/overlay/font.h"

#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <link.h>
#include <sstream>

std::string test_font_tga() {
    return tga_bytes(256, 256, [](int x, int y) -> uint32_t {
        int k = (15 - y / 16) * 16 + x / 16, cx = x % 16;
        int w = test_glyph_width(k);
        return w && cx >= 2 && cx < 2 + w && y % 16 >= 4 ? 0xFFFFFFFFu : 0u;
    });
}

void OverlayTest::SetUp() {
    open(width, height);
    installShaders();
    common_vb_writer.create(COMMON_VB_SIZE);
}

void OverlayTest::TearDown() {
    if (common_vb_writer.isOpen()) common_vb_writer.flush(true);
    common_vb_writer.release();
    close_font();
    close_debug_vis();
    close_dist_fonts();
    RenderTest::TearDown();
}

void OverlayTest::installShaders() {
    for (const char* name : {"font.sh", "distfont.sh", "debug_vis.sh"}) {
        std::ifstream in(std::string(VELTMOOR_SOURCE_DATA) + "/" + name);
        ASSERT_TRUE(in) << name;
        std::stringstream text;
        text << in.rdbuf();
        writeFile(name, text.str());
    }
}

void OverlayTest::initTestFont() {
    writeFile("font.tga", test_font_tga());
    init_font();
}

std::vector<uint32_t> OverlayTest::readPresented() {
    int i = g_dev.back_shown >= 0 ? g_dev.back_shown : g_dev.back_cur;
    std::vector<uint32_t> px(size_t(d3d_wd) * size_t(d3d_ht));
    glGetTextureImage(g_dev.back_tex[i], 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                      GLsizei(px.size() * 4), px.data());
    return px;
}
