// The one general-purpose allocator, shared with the module under the names it links to.
#include "actors/module_api.h"

#include <cstdlib>

extern "C" {
void* dlmalloc(size_t size) {
    return malloc(size);
}
void dlfree(void* p) {
    free(p);
}
void* dlrealloc(void* p, size_t size) {
    return realloc(p, size);
}
}
