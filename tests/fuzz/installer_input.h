// The fuzz input read as a whole installer file, through the installer's own reader.
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
