// Encodes one record stream into a stored block: unpacked size, LZMA properties, raw LZMA data.
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

// Compresses stream into out (9-byte header + LZMA data). False with a reason in error when the SDK fails
// or the stream is 2 GiB or more.
bool encode_block(const std::vector<uint8_t>& stream, const EncodeOptions& options, std::vector<uint8_t>* out,
                  std::string* error);
