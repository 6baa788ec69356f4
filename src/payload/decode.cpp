// Turns one stored block into its unpacked bytes: LZMA decoded straight into the block's buffer, or copied.
#include "payload/decode.h"

#include <cstdlib>
#include <cstring>

extern "C" {
#include <LzmaDec.h>
}

#include "payload/lzma_alloc.h"
#include "payload/payload.h"

namespace {

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

// Where the decoder takes its input: the block in memory, or a window of it read from the installer, refilled so
// that each step sees the same bytes as it would in memory.
class BlockInput {
public:
    BlockInput(const PayloadBlock* block, unsigned char* window) : block_(block), window_(window) {}

    // At least want bytes from the block's byte at (fewer only at the block's end); null when they cannot be read.
    const unsigned char* at(uint32_t at, uint32_t want) {
        if (block_->data) return block_->data + at;
        if (at < start_ || at + want > start_ + length_) {
            // What the last step left unconsumed moves to the front; the rest is read after it.
            const uint32_t kept = at >= start_ && at < start_ + length_ ? start_ + length_ - at : 0;
            if (kept) memmove(window_, window_ + (at - start_), kept);
            if (!read_block_bytes(block_, int32_t(at + kept), window_ + kept, int32_t(want - kept))) return nullptr;
            start_ = at;
            length_ = want;
        }
        return window_ + (at - start_);
    }

private:
    const PayloadBlock* block_;
    unsigned char* window_;
    uint32_t start_ = 0, length_ = 0;
};

// The block's own buffer is the decoder's dictionary: everything decoded so far is in it, so the decoder
// needs no window of its own and nothing is copied. A distance beyond what has been decoded is a data error.
bool decode_lzma(const PayloadBlock* block, const unsigned char* header, unsigned char* out, unsigned char* in,
                 uint32_t unpacked, const ProgressSink* progress, const DecodeWatch* watch) {
    CLzmaDec state;
    LzmaDec_Construct(&state);
    if (LzmaDec_AllocateProbs(&state, header + BLOCK_PROPS_OFFSET, BLOCK_PROPS_SIZE, lzma_alloc()) != SZ_OK)
        return false;
    state.dic = out;
    state.dicBufSize = unpacked;
    LzmaDec_Init(&state);

    BlockInput input(block, in);
    const uint32_t size = uint32_t(block->size);
    uint32_t in_pos = BLOCK_HEADER_SIZE;
    bool ok = true;
    while (state.dicPos < unpacked) {
        const SizeT before = state.dicPos;
        const SizeT limit = before + smaller(DECODE_STEP, unpacked - uint32_t(before));
        SizeT in_avail = smaller(DECODE_STEP, size - in_pos);
        const unsigned char* bytes = input.at(in_pos, uint32_t(in_avail));
        if (!bytes) {
            ok = false;
            break;
        }
        const ELzmaFinishMode mode = limit == unpacked ? LZMA_FINISH_END : LZMA_FINISH_ANY;
        ELzmaStatus status;
        const SRes res = LzmaDec_DecodeToDic(&state, limit, bytes, &in_avail, mode, &status);
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
    LzmaDec_FreeProbs(&state, lzma_alloc());
    if (!ok) return false;
    // An end marker before U bytes ends the block early; the rest reads as zeros.
    if (state.dicPos < unpacked) memset(out + state.dicPos, 0, unpacked - state.dicPos);
    return !watch || watch->step(watch->context, unpacked);
}

}  // namespace

bool decode_block_into(const PayloadBlock* block, unsigned char* out, unsigned char* in, const ProgressSink* progress,
                       const DecodeWatch* watch) {
    unsigned char header[BLOCK_HEADER_SIZE];
    if (!block || block->size < BLOCK_HEADER_SIZE || !read_block_bytes(block, 0, header, BLOCK_HEADER_SIZE))
        return false;
    const uint32_t unpacked = block_unpacked_size(header);
    if (unpacked > uint32_t(INT32_MAX)) return false;
    if (block_properties(header) != BLOCK_PROPS_STORED)
        return decode_lzma(block, header, out, in, unpacked, progress, watch);
    // Only a block in memory is copied here; the pipeline extracts a stored block from where it lies.
    return block->data && copy_stored(block->data, block->size, out, unpacked, progress, watch);
}

unsigned char* decode_block(const unsigned char* block, int32_t size, const ProgressSink* progress) {
    if (!block || size < BLOCK_HEADER_SIZE) return nullptr;
    const uint32_t unpacked = block_unpacked_size(block);
    if (unpacked > uint32_t(INT32_MAX)) return nullptr;

    unsigned char* out = alloc_block_buffer(unpacked);
    const PayloadBlock in_memory{const_cast<unsigned char*>(block), size, nullptr, 0};
    if (out && !decode_block_into(&in_memory, out, nullptr, progress, nullptr)) {
        free(out);
        return nullptr;
    }
    return out;
}
