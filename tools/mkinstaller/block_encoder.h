// Forms one block from a record stream: header (unpacked size, properties, dictionary), then LZMA data or the stream.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct EncodeOptions {
    int level = 9;               // 0-9, the SDK's presets
    uint32_t dict_size = 0;      // 0: the smallest power of two holding the block, 4 KiB to 128 MiB
    bool end_marker = false;     // the installer reads streams with or without one
    int lc = 3, lp = 0, pb = 2;  // literal context, literal position, position bits
};

// Smallest power of two >= unpacked, clamped to [4096, 128 MiB]: small installers get small windows.
uint32_t auto_dict_size(size_t unpacked);

// Estimated peak bytes encode_block takes beside the stream: the SDK encoder's match finder and buffers,
// about 11.5 times the dictionary, and the output buffer.
uint64_t encode_memory(size_t stream_size, const EncodeOptions& options);

// Compresses stream into out (9-byte header + LZMA data). False with a reason in error when the SDK fails
// or the stream is 2 GiB or more.
bool encode_block(const std::vector<uint8_t>& stream, const EncodeOptions& options, std::vector<uint8_t>* out,
                  std::string* error);

// The stream as a stored block: unpacked size, properties byte BLOCK_PROPS_STORED, dictionary field 0, then
// the stream itself. For data that LZMA does not shrink.
std::vector<uint8_t> stored_block(const std::vector<uint8_t>& stream);
