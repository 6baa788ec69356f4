// Turns one stored block into its unpacked bytes: LZMA decoded straight into the block's buffer, or copied.
#include "payload/decode.h"

#include <cstdlib>
#include <cstring>

extern "C" {
#include <LzmaDec.h>
}

#include "payload/payload.h"

namespace {

void* alloc_callback(void*, size_t size) { return size == 0 ? nullptr : malloc(size); }
void free_callback(void*, void* address) { free(address); }
ISzAlloc g_decoder_alloc = {alloc_callback, free_callback};

uint32_t smaller(uint32_t a, uint32_t b) { return a < b ? a : b; }

// A stored block's body is its record stream: copied in the decoder's steps, with the decoder's progress.
bool copy_stored(const unsigned char* block, int32_t size, unsigned char* out, uint32_t unpacked,
                 const ProgressSink* progress, const DecodeWatch* watch) {
    if (uint32_t(size - BLOCK_HEADER_SIZE) < unpacked) return false;  // the body ends before U bytes
    for (uint32_t produced = 0; produced < unpacked;) {
        const uint32_t step = smaller(DECODE_STEP, unpacked - produced);
        memcpy(out + produced, block + BLOCK_HEADER_SIZE + produced, step);
        produced += step;
        progress_advance(progress, int32_t(2 * step));
        if (watch && !watch->step(watch->context, produced)) return false;
    }
    return true;
}

// The block's own buffer is the decoder's dictionary: everything decoded so far is in it, so the decoder
// needs no window of its own and nothing is copied. A distance beyond what has been decoded is a data error.
bool decode_lzma(const unsigned char* block, int32_t size, unsigned char* out, uint32_t unpacked,
                 const ProgressSink* progress, const DecodeWatch* watch) {
    CLzmaDec state;
    LzmaDec_Construct(&state);
    if (LzmaDec_AllocateProbs(&state, block + BLOCK_PROPS_OFFSET, BLOCK_PROPS_SIZE, &g_decoder_alloc) != SZ_OK)
        return false;
    state.dic = out;
    state.dicBufSize = unpacked;
    LzmaDec_Init(&state);

    uint32_t in_pos = BLOCK_HEADER_SIZE;
    bool ok = true;
    while (state.dicPos < unpacked) {
        const SizeT before = state.dicPos;
        const SizeT limit = before + smaller(DECODE_STEP, unpacked - uint32_t(before));
        SizeT in_avail = smaller(DECODE_STEP, uint32_t(size) - in_pos);
        const ELzmaFinishMode mode = limit == unpacked ? LZMA_FINISH_END : LZMA_FINISH_ANY;
        ELzmaStatus status;
        const SRes res = LzmaDec_DecodeToDic(&state, limit, block + in_pos, &in_avail, mode, &status);
        const SizeT wrote = state.dicPos - before;
        in_pos += uint32_t(in_avail);
        progress_advance(progress, int32_t(2 * wrote));
        if (status == LZMA_STATUS_FINISHED_WITH_MARK) break;
        // Data after the U-th byte is not looked at; an error before it means the stream is corrupt.
        if (state.dicPos < unpacked && (res != SZ_OK || (wrote == 0 && in_avail == 0))) {
            ok = false;
            break;
        }
        if (watch && state.dicPos < unpacked && !watch->step(watch->context, uint32_t(state.dicPos))) {
            ok = false;
            break;
        }
    }
    LzmaDec_FreeProbs(&state, &g_decoder_alloc);
    if (!ok) return false;
    // An end marker before U bytes ends the block early; the rest reads as zeros.
    if (state.dicPos < unpacked) memset(out + state.dicPos, 0, unpacked - state.dicPos);
    return !watch || watch->step(watch->context, unpacked);
}

}  // namespace

bool decode_block_into(const unsigned char* block, int32_t size, unsigned char* out, const ProgressSink* progress,
                       const DecodeWatch* watch) {
    if (!block || size < BLOCK_HEADER_SIZE) return false;
    const uint32_t unpacked = block_unpacked_size(block);
    if (unpacked > uint32_t(INT32_MAX)) return false;
    return block_properties(block) == BLOCK_PROPS_STORED ? copy_stored(block, size, out, unpacked, progress, watch)
                                                         : decode_lzma(block, size, out, unpacked, progress, watch);
}

unsigned char* decode_block(const unsigned char* block, int32_t size, const ProgressSink* progress) {
    if (!block || size < BLOCK_HEADER_SIZE) return nullptr;
    const uint32_t unpacked = block_unpacked_size(block);
    if (unpacked > uint32_t(INT32_MAX)) return nullptr;

    unsigned char* out = alloc_block_buffer(unpacked);
    if (out && !decode_block_into(block, size, out, progress, nullptr)) {
        free(out);
        return nullptr;
    }
    return out;
}
