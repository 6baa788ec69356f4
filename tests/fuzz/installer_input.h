// The fuzz input read as a whole installer file, through the installer's own reader, and the largest block decoded.
#pragma once
#include <cstdint>
#include <cstdio>

#include "payload/manifest.h"
#include "payload/payload.h"

// The input as an open file, which the blocks read_payload_stream gives are read from; closed when it goes, after
// free_payload.
struct InstallerInput {
    FILE* file = nullptr;
    ~InstallerInput() {
        if (file) fclose(file);
    }
};

// read_payload_stream over the input bytes; null for an empty input, which fmemopen refuses (the empty file is a
// unit test's case), and for every input the reader refuses. manifest, when not null, receives the manifest.
inline PayloadBlock** read_installer_input(const uint8_t* data, size_t size, InstallerInput* input, int32_t* count,
                                           uint32_t* total, int* flags, Manifest* manifest = nullptr) {
    if (size == 0) return nullptr;
    input->file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!input->file) return nullptr;
    return read_payload_stream(input->file, count, total, flags, nullptr, manifest);
}

// Largest unpacked block the targets that decode whole installers take on: larger blocks are valid input but would
// only measure memory handed out and filled.
constexpr uint32_t FUZZ_MAX_UNPACKED = 4u << 20;

// Whether every block whose header can be read unpacks to at most FUZZ_MAX_UNPACKED bytes.
inline bool blocks_small_enough(PayloadBlock* const* blocks, int32_t count) {
    unsigned char header[BLOCK_HEADER_SIZE];
    for (int32_t i = 0; i < count; ++i)
        if (read_block_bytes(blocks[i], 0, header, BLOCK_HEADER_SIZE) &&
            block_unpacked_size(header) > FUZZ_MAX_UNPACKED)
            return false;
    return true;
}
