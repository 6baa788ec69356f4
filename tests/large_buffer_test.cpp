// Buffers for blocks: usable over their whole length at any size, and backed by large pages where they are granted.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/os.h"
#include "support/test_support.h"

TEST(LargeBuffer, EverySizeIsUsableToItsLastByteAndFreed) {
    const size_t MiB = size_t(1) << 20;
    const size_t sizes[] = {0, 1, 4096, 2 * MiB - 1, 2 * MiB, 2 * MiB + 1, 33 * MiB + 7};
    for (size_t size : sizes) {
        SCOPED_TRACE(size);
        auto* buffer = static_cast<unsigned char*>(os_alloc_large(size));
        ASSERT_NE(buffer, nullptr);
        buffer[0] = 0xA5;
        if (size > 1) {
            memset(buffer, 0x5A, size);
            EXPECT_EQ(buffer[size - 1], 0x5A);
        }
        free(buffer);
    }
}

TEST(LargeBuffer, FirstTouchOfALargeBufferTakesFewPageFaults) {
    // 64 MiB in 4 KiB pages would take 16384 faults, in 2 MiB pages 32; a buffer whose unaligned head and tail
    // are left to 4 KiB pages takes hundreds more.
    const size_t size = size_t(64) << 20;
    const long before = large_page_faults_so_far();
    if (before < 0) GTEST_SKIP() << "no large pages without privileges on this system";
    auto* buffer = static_cast<unsigned char*>(os_alloc_large(size));
    ASSERT_NE(buffer, nullptr);
    for (size_t at = 0; at < size; at += 4096) buffer[at] = 1;
    const long faults = large_page_faults_so_far() - before;
    free(buffer);
    EXPECT_LT(faults, 256);
}
