// The LZMA SDK's memory callbacks, malloc and free: one allocator for the block decoder and the vendor tool's encoder.
#pragma once

extern "C" {
#include <Types.h>
}

// The SDK's allocator interface over malloc and free (a request for 0 bytes gives null). The SDK takes it by a
// non-const pointer but never changes it; it holds no state, so any thread may use it.
ISzAlloc* lzma_alloc();
