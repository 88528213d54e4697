// Entry point of every unit test program: a headless, dialog-free environment whose
// settings, caches and outputs stay in the build tree, unless the caller set them.
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("VELTMOOR_NO_DIALOGS", "1", 0);
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("MESA_SHADER_CACHE_DIR", VELTMOOR_TEST_BUILD_DIR "/mesa-cache", 0);
    setenv("VELTMOOR_CONFIG_DIR", VELTMOOR_TEST_BUILD_DIR "/test-config", 0);
    setenv("VELTMOOR_TEST_OUT", VELTMOOR_TEST_BUILD_DIR "/test-out", 0);
    setenv("VELTMOOR_APP_DIR", VELTMOOR_TEST_APP_DIR, 0);
    // A forked child inherits the GL driver's locks but not its threads, so its exit can
    // hang; death tests re-run the program instead.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
