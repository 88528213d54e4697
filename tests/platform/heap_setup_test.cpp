#include "platform/heap_setup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// The VmFlags line of the mapping that holds addr, from /proc/self/smaps.
std::string vm_flags_at(uintptr_t addr) {
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        unsigned long lo = 0, hi = 0;
        if (sscanf(line.c_str(), "%lx-%lx ", &lo, &hi) == 2 && line.find(' ') > line.find('-'))
            inside = addr >= lo && addr < hi;
        else if (inside && line.rfind("VmFlags:", 0) == 0)
            return line;
    }
    return "";
}

// A big block must come from the advised heap (not a mapping of its own that faults page by
// page and is unmapped on free), and that heap must carry the huge-page advice.
TEST(HeapSetup, BigBlocksLandInTheAdvisedHeap) {
    const uintptr_t before = reinterpret_cast<uintptr_t>(sbrk(0));
    const size_t advised = setup_process_heap(size_t(64) << 20);
    if (advised == 0) GTEST_SKIP() << "no huge-page heap here (sanitizer allocator or no THP)";
    EXPECT_GE(advised, size_t(60) << 20);
    const uintptr_t after = reinterpret_cast<uintptr_t>(sbrk(0));
    void* big = malloc(size_t(8) << 20);
    ASSERT_NE(big, nullptr);
    memset(big, 1, size_t(8) << 20);
    const uintptr_t at = reinterpret_cast<uintptr_t>(big);
    // It may start in the free space that topped the heap before.
    EXPECT_GT(at + (size_t(7) << 20), before + (size_t(2) << 20));
    EXPECT_LE(at + (size_t(8) << 20), after);
    EXPECT_NE(vm_flags_at(at + (size_t(7) << 20)).find(" hg"), std::string::npos);
    free(big);
    // Freed, it stays: the heap is not trimmed back below the reserve.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(sbrk(0)), after);
}

} // namespace
