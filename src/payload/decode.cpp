// Drives the LZMA SDK decoder over one block in steps of at most 1 MiB.
#include "payload/decode.h"

#include <cstdlib>
#include <cstring>

extern "C" {
#include <LzmaDec.h>
}

#include "payload/payload.h"

namespace {

// The window is the decoder's one large allocation and is written all over: large pages pay there too.
void* alloc_callback(void*, size_t size) { return size == 0 ? nullptr : alloc_block_buffer(size); }
void free_callback(void*, void* address) { free(address); }
ISzAlloc g_decoder_alloc = {alloc_callback, free_callback};

}  // namespace

unsigned char* decode_block(const unsigned char* block, int32_t size, const ProgressSink* progress) {
    if (!block || size < BLOCK_HEADER_SIZE) return nullptr;
    const uint32_t unpacked = block_unpacked_size(block);
    if (unpacked > uint32_t(INT32_MAX)) return nullptr;

    unsigned char* out = alloc_block_buffer(unpacked);
    if (!out) return nullptr;

    CLzmaDec state;
    LzmaDec_Construct(&state);
    if (LzmaDec_Allocate(&state, block + BLOCK_PROPS_OFFSET, BLOCK_PROPS_SIZE, &g_decoder_alloc) != SZ_OK) {
        free(out);
        return nullptr;
    }
    LzmaDec_Init(&state);

    uint32_t produced = 0;
    uint32_t in_pos = BLOCK_HEADER_SIZE;
    bool failed = false;
    while (produced < unpacked) {
        SizeT out_cap = unpacked - produced < DECODE_STEP ? unpacked - produced : DECODE_STEP;
        SizeT in_avail = uint32_t(size) - in_pos < DECODE_STEP ? uint32_t(size) - in_pos : DECODE_STEP;
        ELzmaFinishMode mode = produced + out_cap == unpacked ? LZMA_FINISH_END : LZMA_FINISH_ANY;
        ELzmaStatus status;
        SRes res = LzmaDec_DecodeToBuf(&state, out + produced, &out_cap, block + in_pos, &in_avail, mode, &status);
        in_pos += uint32_t(in_avail);
        produced += uint32_t(out_cap);
        progress_advance(progress, int32_t(2 * out_cap));
        if (status == LZMA_STATUS_FINISHED_WITH_MARK) break;
        // Data after the U-th byte is not looked at; an error before it means the stream is corrupt.
        if (produced < unpacked && (res != SZ_OK || (out_cap == 0 && in_avail == 0))) {
            failed = true;
            break;
        }
    }
    LzmaDec_Free(&state, &g_decoder_alloc);
    if (failed) {
        free(out);
        return nullptr;
    }
    if (produced < unpacked) memset(out + produced, 0, unpacked - produced);
    return out;
}
