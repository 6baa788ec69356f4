// libFuzzer target: the container reader on a whole installer file, signed or not.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "installer_input.h"
#include "payload/manifest.h"
#include "payload/payload.h"
#include "payload/records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int32_t count = 0;
    uint32_t total = 0;
    int flags = 0;
    Manifest manifest{};
    InstallerInput input;
    PayloadBlock** blocks = read_installer_input(data, size, &input, &count, &total, &flags, &manifest);
    if (!blocks) return 0;
    // A manifest handed on lies inside the file, walks to its end record with safe names only.
    if (manifest.length < 0 || manifest.length > int32_t(size) ||
        check_manifest(manifest.bytes, manifest.length) !=
            (manifest.length ? ReadResult::ok : ReadResult::manifest_damaged))
        abort();
    ManifestCursor cursor;
    start_manifest(&cursor, manifest);
    ManifestEntry entry;
    while (next_manifest_entry(&cursor, &entry) == WalkResult::record)
        if (!entry.name || entry.name_len == 0) abort();
    free_manifest(&manifest);
    // What the reader hands on is taken from the file: never more blocks or bytes than the file holds.
    int64_t sum = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (!blocks[i] || blocks[i]->data || !blocks[i]->file || blocks[i]->size < 0) abort();
        unsigned char first;
        if (blocks[i]->size > 0 && !read_block_bytes(blocks[i], blocks[i]->size - 1, &first, 1)) abort();
        sum += blocks[i]->size;
    }
    if (count <= 0 || sum > int64_t(size) || flags < 0 || flags > 255) abort();
    free_payload(blocks, count);
    return 0;
}
