// The LZMA SDK's allocator over the C heap.
#include "payload/lzma_alloc.h"

#include <cstdlib>

namespace {

void* alloc_callback(void*, size_t size) { return size == 0 ? nullptr : malloc(size); }
void free_callback(void*, void* address) { free(address); }
ISzAlloc g_alloc = {alloc_callback, free_callback};

}  // namespace

ISzAlloc* lzma_alloc() { return &g_alloc; }
