// Leak checking is off in the window tests: the video driver libraries that SDL loads
// are unloaded at SDL_Quit, so their allocations cannot be told apart from ours
// (launcher_tests checks the launcher's own code for leaks).
extern "C" void __lsan_disable() __attribute__((weak));

namespace {
const bool leak_checks_off = [] {
    if (__lsan_disable) __lsan_disable();
    return true;
}();
} // namespace
