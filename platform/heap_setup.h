// How the process's heap is laid out for a program that renders with a software rasteriser:
// such a driver zero-fills every texture and render target it creates in system memory and
// allocates tens of megabytes a frame.
#pragma once

#include <cstddef>

// Call first thing in main, before any thread starts. Keeps large blocks and freed memory on
// the main heap instead of mapping and unmapping them, and reserves `reserve_bytes` of heap
// backed by huge pages where the system offers them (one fault per 2 MiB instead of one per
// 4 KiB). Returns the bytes of heap that were advised for huge pages (0: none, e.g. under a
// sanitizer's allocator or where the system refuses).
size_t setup_process_heap(size_t reserve_bytes);
