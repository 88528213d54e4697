// Shaders: compiling, the cache file, running without a compiler, includes and hot reload.
#include "render/error_text.h"
#include "render/shaders.h"
#include "render_fixture.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {
const char* SOLID = R"(
#include "inc/common.glsl"
#ifdef VSH
in vec4 POSITION;
void vsh() { gl_Position = POSITION; }
#endif
#ifdef PSH
void psh() { oC0 = solid_color(); }
#endif
)";
const char* COMMON_RED = "vec4 solid_color() { return vec4(1.0, 0.0, 0.0, 1.0); }\n";
const char* COMMON_GREEN = "vec4 solid_color() { return vec4(0.0, 1.0, 0.0, 1.0); }\n";

const char FIRST_DEFINES[] = "FIRST\0 1\0";
const char* DEFINED = R"(
#ifdef VSH
in vec4 POSITION;
void vsh() { gl_Position = POSITION; }
#endif
#ifdef PSH
void psh() {
#ifdef FIRST
    oC0 = vec4(0.0, 0.0, 1.0, 1.0);
#else
    oC0 = vec4(1.0, 1.0, 1.0, 1.0);
#endif
}
#endif
)";

bool file_exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

bool driver_has_binaries() {
    GLint n = 0;
    glGetIntegerv(GL_NUM_PROGRAM_BINARY_FORMATS, &n);
    return n > 0;
}
} // namespace

class ShaderTest : public RenderTest {
  protected:
    Texture* rt = nullptr;

    void SetUp() override {
        unsetenv("VELTMOOR_NO_SHADER_COMPILER");
        RenderTest::SetUp();
        mkdir(path("inc").c_str(), 0755);
        writeFile("inc/common.glsl", COMMON_RED);
        setFileTime("inc/common.glsl", 1000000);
        writeFile("solid.sh", SOLID);
        setFileTime("solid.sh", 1000000);
        rt = create_render_texture(8, 8, 1);
        set_render_target(rt, 0, false);
        set_error_message(nullptr);
    }
    void TearDown() override {
        RenderTest::TearDown();
        unsetenv("VELTMOOR_NO_SHADER_COMPILER");
    }

    uint32_t drawWith(Shader* s) {
        set_render_target(rt, 0, false);
        clear_view(0xff000000);
        set_shader(s);
        draw_postfx();
        return readTexture(rt)[0];
    }

    // Closes and reopens the device, as a new run of the game would.
    void restart(bool with_compiler) {
        close_d3d();
        if (with_compiler)
            unsetenv("VELTMOOR_NO_SHADER_COMPILER");
        else
            setenv("VELTMOOR_NO_SHADER_COMPILER", "1", 1);
        ASSERT_TRUE(init_d3d(window, 64, 64));
        rt = create_render_texture(8, 8, 1);
    }
};

TEST_F(ShaderTest, CompilesWritesCacheAndRunsFromCacheWithoutCompiler) {
    if (!driver_has_binaries()) GTEST_SKIP() << "the driver offers no program binary format";
    Shader* s = get_shader("solid.sh");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(drawWith(s), 0xffff0000u);
    ASSERT_EQ(s->deps.num, 2);
    EXPECT_STREQ(s->deps[0].name, "solid.sh");
    EXPECT_STREQ(s->deps[1].name, "inc/common.glsl");
    EXPECT_EQ(get_shader("solid.sh"), s);
    EXPECT_EQ(s->refcount, 2);

    // Cache layout: magic, names length, code sizes, the names block.
    FILE* f = fopen(path("cache/solid.sh.cache").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    uint32_t head[4];
    ASSERT_EQ(fread(head, 4, 4, f), 4u);
    EXPECT_EQ(head[0], 0x20100715u);
    EXPECT_EQ(head[1], 1u + 9 + 16);
    std::vector<char> names(head[1]);
    ASSERT_EQ(fread(names.data(), 1, names.size(), f), names.size());
    fclose(f);
    EXPECT_EQ(memcmp(names.data(), "solid.sh\0inc/common.glsl\0\0", names.size()), 0);

    // Without a compiler an outdated cache is still used.
    restart(false);
    EXPECT_FALSE(shader_compiler_available());
    setFileTime("solid.sh", 2000000000);
    testing::internal::CaptureStdout();
    s = get_shader("solid.sh");
    EXPECT_NE(testing::internal::GetCapturedStdout().find("loaded shader 'solid.sh' from cache"),
              std::string::npos);
    EXPECT_EQ(drawWith(s), 0xffff0000u);
    EXPECT_EQ(s->deps[0].time, 0);
    reload_shaders(true); // nothing to do without a compiler
    EXPECT_FALSE(has_error_message());

    // With the compiler, a source newer than the cache is compiled again.
    restart(true);
    testing::internal::CaptureStdout();
    s = get_shader("solid.sh");
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("from cache"), std::string::npos);
}

TEST_F(ShaderTest, MissingCacheWithoutCompilerIsFatal) {
    restart(false);
    EXPECT_EXIT(get_shader("solid.sh"), testing::ExitedWithCode(100),
                "can't create shader from cache for 'solid.sh'");
}

TEST_F(ShaderTest, CorruptCacheFallsBackToCompiling) {
    writeFile("cache/solid.sh.cache",
              std::string("\x15\x07\x10\x20\xff\xff\xff\x7f", 8) + std::string(40, 'x'));
    setFileTime("cache/solid.sh.cache", 1500000000);
    Shader* s = get_shader("solid.sh");
    EXPECT_EQ(drawWith(s), 0xffff0000u);
}

TEST_F(ShaderTest, CacheWithSwappedStagesIsRebuiltFromSource) {
    if (!driver_has_binaries()) GTEST_SKIP() << "the driver offers no program binary format";
    get_shader("solid.sh");
    restart(true);
    // The pixel block where the vertex block belongs and the other way round.
    std::string name = path("cache/solid.sh.cache");
    FILE* f = fopen(name.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> file(1 << 20);
    file.resize(fread(file.data(), 1, file.size(), f));
    fclose(f);
    uint32_t head[4];
    ASSERT_GE(file.size(), sizeof(head));
    memcpy(head, file.data(), sizeof(head));
    ASSERT_EQ(file.size(), 16u + head[1] + head[2] + head[3]);
    std::vector<uint8_t> swapped(file.begin(), file.begin() + 16 + head[1]);
    auto vcode = file.begin() + 16 + head[1];
    swapped.insert(swapped.end(), vcode + head[2], file.end());
    swapped.insert(swapped.end(), vcode, vcode + head[2]);
    std::swap(head[2], head[3]);
    memcpy(swapped.data(), head, sizeof(head));
    writeFile("cache/solid.sh.cache", std::string(swapped.begin(), swapped.end()));
    setFileTime("cache/solid.sh.cache", 1500000000);

    testing::internal::CaptureStdout();
    Shader* s = get_shader("solid.sh");
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("from cache"), std::string::npos);
    EXPECT_EQ(drawWith(s), 0xffff0000u);
    // The rebuild wrote a good cache, which the next run loads.
    restart(true);
    testing::internal::CaptureStdout();
    s = get_shader("solid.sh");
    EXPECT_NE(testing::internal::GetCapturedStdout().find("from cache"), std::string::npos);
    EXPECT_EQ(drawWith(s), 0xffff0000u);
}

TEST_F(ShaderTest, DefinesGiveSeparateSlotsAndCacheFiles) {
    writeFile("mlaa_rows.sh", DEFINED);
    Shader* plain = get_shader("mlaa_rows.sh");
    Shader* first = get_shader("mlaa_rows.sh", FIRST_DEFINES);
    EXPECT_NE(plain, first);
    EXPECT_EQ(get_shader("mlaa_rows.sh", FIRST_DEFINES), first);
    EXPECT_EQ(drawWith(plain), 0xffffffffu);
    EXPECT_EQ(drawWith(first), 0xff0000ffu);
    char name[260];
    get_shader_cache_name("mlaa_rows.sh", FIRST_DEFINES, name, sizeof(name));
    EXPECT_STREQ(name, "cache/mlaa_rows.sh@FIRST@_1.cache");
    if (driver_has_binaries()) {
        EXPECT_TRUE(file_exists(path("cache/mlaa_rows.sh.cache")));
        EXPECT_TRUE(file_exists(path("cache/mlaa_rows.sh@FIRST@_1.cache")));
    }
    int used = used_shader_slots();
    release_shader(first);
    EXPECT_EQ(used_shader_slots(), used);
    release_shader(first);
    EXPECT_EQ(used_shader_slots(), used - 1);
    release_shader(nullptr);
}

TEST_F(ShaderTest, TouchingAnIncludeReloadsEveryShaderThatReadIt) {
    writeFile("other.sh", SOLID);
    setFileTime("other.sh", 1000000);
    Shader* a = get_shader("solid.sh");
    Shader* b = get_shader("other.sh");
    writeFile("mlaa_rows.sh", DEFINED);
    Shader* c = get_shader("mlaa_rows.sh");
    testing::internal::CaptureStdout();
    reload_shaders(false);
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("reloaded"), std::string::npos);

    writeFile("inc/common.glsl", COMMON_GREEN);
    setFileTime("inc/common.glsl", 1000100);
    testing::internal::CaptureStdout();
    reload_shaders(false);
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("reloaded shader 'solid.sh'"), std::string::npos) << log;
    EXPECT_NE(log.find("reloaded shader 'other.sh'"), std::string::npos) << log;
    EXPECT_EQ(log.find("reloaded shader 'mlaa_rows.sh'"), std::string::npos) << log;
    EXPECT_EQ(drawWith(a), 0xff00ff00u);
    EXPECT_EQ(drawWith(b), 0xff00ff00u);
    EXPECT_EQ(drawWith(c), 0xffffffffu);
}

TEST_F(ShaderTest, SyntaxErrorDuringReloadKeepsTheOldShader) {
    Shader* s = get_shader("solid.sh");
    set_error_message("stale message");
    writeFile("inc/common.glsl", "vec4 solid_color() { return vec4(0.0, 1.0, 0.0, 1.0) }\n");
    setFileTime("inc/common.glsl", 1000100);
    reload_shaders(false);
    std::string msg = get_error_message();
    EXPECT_EQ(msg.find("stale message"), std::string::npos);
    EXPECT_EQ(msg.rfind("GLSL 'solid.sh', func 'vsh':", 0), 0u) << msg;
    EXPECT_NE(msg.find("inc/common.glsl"), std::string::npos) << "errors name the file: " << msg;
    EXPECT_NE(msg.find("FAILED to reload shader 'solid.sh'"), std::string::npos) << msg;
    EXPECT_EQ(drawWith(s), 0xffff0000u) << "the last good version keeps drawing";

    // Fixing the file brings the new version in and a later pass clears the message.
    writeFile("inc/common.glsl", COMMON_GREEN);
    setFileTime("inc/common.glsl", 1000200);
    reload_shaders(false);
    EXPECT_FALSE(has_error_message());
    EXPECT_EQ(drawWith(s), 0xff00ff00u);
}

TEST_F(ShaderTest, MissingIncludeFailsTheCompile) {
    writeFile("broken.sh", "#include \"nowhere.glsl\"\nvoid vsh() {}\nvoid psh() {}\n");
    EXPECT_EXIT(get_shader("broken.sh"), testing::ExitedWithCode(100),
                "can't create shader from 'broken.sh'");
    writeFile("loop.sh", "#include \"loop.sh\"\n");
    EXPECT_EXIT(get_shader("loop.sh"), testing::ExitedWithCode(100),
                "can't create shader from 'loop.sh'");
}

TEST(ErrorText, AppendAndClear) {
    set_error_message(nullptr);
    append_error_message("first", -1);
    EXPECT_STREQ(get_error_message(), "first");
    append_error_message("second line", 6);
    EXPECT_STREQ(get_error_message(), "first\nsecond");
    append_error_message(nullptr, 3);
    append_error_message("x", 0);
    EXPECT_STREQ(get_error_message(), "first\nsecond");
    set_error_message("");
    EXPECT_FALSE(has_error_message());
    EXPECT_STREQ(get_error_message(), "");
}
