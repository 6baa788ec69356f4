// The payload's directory and trailer found in an installer, signed or not; its blocks loaded and checksummed.
#pragma once
#include <cstdint>
#include <cstdio>

#include "payload/payload.h"

// The directory and trailer as found, with the bytes they were read from.
struct PayloadTail {
    int32_t end;          // file offset just past the trailer: the file size, unless a signature or its padding follows
    int32_t dir_offset;   // D, from the trailer
    int32_t size;         // end - D: directory, checksum table when there is one, and trailer (< 1024)
    int32_t first_block;  // B, from the directory
    int32_t count;        // N, from the directory; its size entries lie inside bytes
    uint32_t total_unpacked;
    int flags;
    unsigned char bytes[PAYLOAD_TAIL_LIMIT];  // size bytes read from D
};

// Finds the trailer of the open file: first as its last 9 bytes; when those fail the checks and the file is
// a PE image whose certificate table ends the file, right before that table, after 0 to 7 zero bytes of
// alignment padding (the fewest that pass); when the file is a PE image with an empty security entry (a
// signature removed again leaves its padding behind), before 1 to 7 zero bytes that end the file.
// The checks, in order: the file holds at least 12 bytes, 0 <= D <= end - 12, end - D < 1024, N > 0 with
// its size entries inside the directory, 0 < B < end;
// a trailer before a certificate table or padding must also have its blocks back to back from B up to D,
// since padding zeros could otherwise pass for a flags byte.
// ReadResult::ok, or the reason no place passes: for a signed file the reason of the place that came closest, for
// any other the reason the last 9 bytes failed.
ReadResult find_payload_tail(FILE* file, PayloadTail* tail);

// Stored size of block i (0 <= i < count) from the directory.
int32_t tail_block_size(const PayloadTail* tail, int32_t i);

// True when the trailer's checksum flag is set and the table's N entries fit between the last size entry
// and the trailer. With the flag but no room, the flag is a reserved bit and there is no table.
bool tail_has_checksums(const PayloadTail* tail);

// True when the trailer's manifest flag is set and the 12-byte locator fits between the size entries (and the
// checksum table, when there is one) and the trailer. With the flag but no room, the flag is a reserved bit.
bool tail_has_manifest(const PayloadTail* tail);

// The locator's fields (meaningful when tail_has_manifest): the manifest's file offset, length and CRC-32.
int32_t tail_manifest_offset(const PayloadTail* tail);
int32_t tail_manifest_length(const PayloadTail* tail);
uint32_t tail_manifest_checksum(const PayloadTail* tail);

// File offset of the checksum table (meaningful when tail_has_checksums).
int32_t tail_checksum_offset(const PayloadTail* tail);

// Checksum i of the table (big-endian CRC-32); the table must be there.
uint32_t tail_checksum(const PayloadTail* tail, int32_t i);
