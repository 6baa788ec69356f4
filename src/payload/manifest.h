// The payload's manifest: every directory and file of the installation, read before any block is decoded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "payload/records.h"
#include "payload/tail.h"

// A manifest as read from the installer (see format.h: MANIFEST_LOCATOR_SIZE). bytes is malloc'd and owned by
// whoever holds the Manifest (release with free_manifest); null with length 0 when the payload has none.
struct Manifest {
    unsigned char* bytes;
    int32_t length;
};

// One entry: a directory or a file that the record streams will create, in their order.
struct ManifestEntry {
    unsigned char type;         // RECORD_DIR or RECORD_FILE; for WalkResult::end the type byte that ended the manifest
    const unsigned char* name;  // code page 936 bytes as the records store them, not terminated
    size_t name_len;
    uint32_t size;  // a file's data length; 0 for a directory
};

struct ManifestCursor {
    const unsigned char* bytes;
    int32_t length;
    int32_t pos;  // offset of the next type byte
};

void start_manifest(ManifestCursor* cursor, const Manifest& manifest);

// The next entry, with the results of next_record (records.h): WalkResult::record with *entry filled; WalkResult::end
// at a type byte other than directory and file; WalkResult::truncated when an entry runs past the end (or none is
// left); WalkResult::unsafe_name when the name fails payload_name_is_safe. A manifest that read_manifest accepted walks
// to WalkResult::end at its last byte.
WalkResult next_manifest_entry(ManifestCursor* cursor, ManifestEntry* entry);

// ReadResult::ok when length bytes are a well-formed manifest: entries with safe names, then RECORD_END as the last
// byte; ReadResult::manifest_damaged otherwise (an empty manifest among it).
ReadResult check_manifest(const unsigned char* bytes, int32_t length);

// Reads the manifest that the tail's locator names (tail_has_manifest): ReadResult::ok with *manifest filled, or
// with an empty one when the payload has none. Otherwise, with nothing left allocated:
// ReadResult::manifest_out_of_range when it does not lie right before block 0 or is longer than MANIFEST_LENGTH_LIMIT,
// ReadResult::cannot_open when it cannot be read, ReadResult::out_of_memory, ReadResult::manifest_checksum when its
// CRC-32 differs from the locator's, ReadResult::manifest_damaged when check_manifest refuses it.
ReadResult read_manifest(FILE* file, const PayloadTail* tail, Manifest* manifest);

// Releases the bytes and leaves an empty manifest. Null or empty is fine.
void free_manifest(Manifest* manifest);
