#include "platform/heap_setup.h"

#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define HEAP_SETUP_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HEAP_SETUP_OFF 1
#endif
#endif

size_t setup_process_heap(size_t reserve_bytes) {
#if defined(__GLIBC__) && !defined(HEAP_SETUP_OFF)
    constexpr uintptr_t HUGE = uintptr_t(2) << 20;
    // Blocks up to 32 MiB come from the heap, and freed memory stays there: otherwise every
    // big block is a fresh mapping whose pages fault one by one, again after each free.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    // One growth of the heap by the reserve; a later growth is a new mapping without the
    // advice, so the reserve should cover what the program keeps.
    const uintptr_t before = reinterpret_cast<uintptr_t>(sbrk(0));
    mallopt(M_TOP_PAD, int(reserve_bytes));
    void* grow = malloc(256 << 10);
    mallopt(M_TOP_PAD, 128 << 10);
    free(grow);
    const uintptr_t after = reinterpret_cast<uintptr_t>(sbrk(0));
    const uintptr_t lo = (before + HUGE - 1) & ~(HUGE - 1), hi = after & ~(HUGE - 1);
    if (!grow || before == uintptr_t(-1) || hi <= lo) return 0;
    if (madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_HUGEPAGE) != 0) return 0;
    return size_t(hi - lo);
#else
    (void)reserve_bytes;
    return 0;
#endif
}
