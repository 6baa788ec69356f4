// Forms one block from a record stream: header (unpacked size, properties, dictionary), then LZMA data or the stream.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct EncodeOptions {
    int level = 9;               // 0-9, the SDK's presets
    uint32_t dict_size = 0;      // 0: auto_dict_size(block, level)
    bool end_marker = false;     // the installer reads streams with or without one
    int lc = 3, lp = 0, pb = 2;  // literal context, literal position, position bits
};

// The dictionary a level asks for: xz's presets (xz(1), "Presets": levels 0-8 take 256 KiB, 1, 2, 4, 4, 8, 8, 16
// and 32 MiB), but 128 MiB at level 9, the dictionary the product's installers have always been made with. The
// installer decodes into the block's own buffer, so a dictionary costs it nothing beyond the block; it only
// weighs on pack, about 11.5 times over, and at the default block size the block caps it to 64 MiB anyway.
uint32_t level_dict_size(int level);

// The level's dictionary, capped by the smallest power of two >= unpacked (at least 4096): a small block gets a
// small window.
uint32_t auto_dict_size(size_t unpacked, int level);

// Estimated peak bytes encode_block takes beside the stream: the SDK encoder's match finder and buffers,
// about 11.5 times the dictionary, and the output buffer.
uint64_t encode_memory(size_t stream_size, const EncodeOptions& options);

// Compresses stream into out (9-byte header + LZMA data). False with a reason in error when the SDK fails
// or the stream is 2 GiB or more. While it works, progress (when set) hears how many bytes of the stream it
// has taken in so far, on the calling thread.
bool encode_block(const std::vector<uint8_t>& stream, const EncodeOptions& options, std::vector<uint8_t>* out,
                  std::string* error, const std::function<void(uint64_t)>& progress = nullptr);

// The stream as a stored block: unpacked size, properties byte BLOCK_PROPS_STORED, dictionary field 0, then
// the stream itself. For data that LZMA does not shrink.
std::vector<uint8_t> stored_block(const std::vector<uint8_t>& stream);
