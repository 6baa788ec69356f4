// Block decoding: one stored block (9-byte header + raw LZMA stream) into its unpacked bytes.
#pragma once
#include <cstdint>

#include "payload/format.h"
#include "payload/progress.h"

// Output and input of one decoder step, so progress shows at least once per MiB.
constexpr uint32_t DECODE_STEP = 1048576;

// Decodes a stored block of size bytes into a new malloc'd buffer of U bytes (caller frees).
// Advances progress (may be null) by twice the bytes written in each step.
// Null when the block is shorter than its header, U is 2 GiB or more, memory runs out, the properties are
// rejected, a step makes no progress before U bytes (the stored stream ends early), or the decoder reports
// corrupt data before U bytes. An end marker before U bytes ends decoding early; the rest is zero-filled.
unsigned char* decode_block(const unsigned char* block, int32_t size, const ProgressSink* progress);
