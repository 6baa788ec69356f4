// Block decoding: one stored block (9-byte header + raw LZMA stream) into its unpacked bytes.
#pragma once
#include <cstdint>

// Block header: unpacked size U (big-endian), then the five LZMA property bytes.
constexpr int32_t BLOCK_HEADER_SIZE = 9;
// Output and input of one decoder step, so progress shows at least once per MiB.
constexpr uint32_t DECODE_STEP = 1048576;

// Unpacked size U of a stored block; the block must hold at least its header.
uint32_t block_unpacked_size(const unsigned char* block);

// Decodes a stored block of size bytes into a new malloc'd buffer of U bytes (caller frees).
// Advances the window's meter by twice the bytes written in each step.
// Null when the block is shorter than its header, U is 2 GiB or more, memory runs out, the properties are
// rejected, a step makes no progress before U bytes (the stored stream ends early), or the decoder reports
// corrupt data before U bytes. An end marker before U bytes ends decoding early; the rest is zero-filled.
unsigned char* decode_block(const unsigned char* block, int32_t size);
