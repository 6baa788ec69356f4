// Block decoding: one block as stored (9-byte header + raw LZMA stream, or the stream itself) into its unpacked bytes.
#pragma once
#include <cstdint>

#include "payload/format.h"
#include "payload/payload.h"
#include "payload/progress.h"

// Output and input of one decoder step, so progress shows at least once per MiB.
constexpr uint32_t DECODE_STEP = 1048576;

// Decodes a block of size bytes into a new malloc'd buffer of U bytes (caller frees). An LZMA block is decoded
// with that buffer as the decoder's dictionary (no window beside it); a block whose properties byte is
// BLOCK_PROPS_STORED is copied. Both go in steps of at most DECODE_STEP bytes of output and input, and advance
// progress (may be null) by twice the bytes written in each step.
// Null when the block is shorter than its header, U is 2 GiB or more, memory runs out, the properties are
// rejected, a step makes no progress before U bytes (the stream ends early), the decoder reports corrupt data
// (a distance beyond what has been decoded, say) before U bytes, or a stored body is shorter than U.
// An end marker before U bytes ends decoding early; the rest is zero-filled.
unsigned char* decode_block(const unsigned char* block, int32_t size, const ProgressSink* progress);

// Follows a decode as it goes: after each step the first ready bytes of the output are final (the rest of an
// early-ended block is zero-filled before the last call). Returning false stops the decode, which then fails.
struct DecodeWatch {
    void* context;
    bool (*step)(void* context, uint32_t ready);
};

// decode_block into out, the caller's buffer of U bytes, with watch (may be null) called after each step, for a
// block in memory or where it lies in the installer (payload.h): then its bytes are read in steps of at most
// DECODE_STEP into in, the caller's buffer of DECODE_STEP bytes (unused, and may be null, for a block in memory),
// and the same bytes go into each step either way, so a block decodes to the same steps wherever it lies.
// True when the block decoded; on false what out holds is not the block, but the bytes a watch was last told were
// ready are final. False also when the block's bytes cannot be read.
bool decode_block_into(const PayloadBlock* block, unsigned char* out, unsigned char* in, const ProgressSink* progress,
                       const DecodeWatch* watch);
