// libFuzzer target: block decoding of one stored block (9-byte header + raw LZMA stream).
#include <cstdint>
#include <cstdlib>

#include "payload/decode.h"

namespace {

// Larger sizes are valid input, but would only measure how fast memory is handed out and cleared;
// a full decoder step of 1 MiB and a short one after it reach every path of the step loop.
constexpr uint32_t MAX_UNPACKED = (1u << 20) + (64u << 10);
constexpr uint32_t MAX_DICTIONARY = 4u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT32_MAX) return 0;
    if (size >= size_t(BLOCK_HEADER_SIZE)) {
        if (block_unpacked_size(data) > MAX_UNPACKED || block_dictionary_size(data) > MAX_DICTIONARY) return 0;
    }
    free(decode_block(data, int32_t(size), nullptr));
    return 0;
}
