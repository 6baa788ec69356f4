// The payload's directory and trailer found in an installer, signed or not; its blocks loaded and checksummed.
#pragma once
#include <cstdint>
#include <cstdio>

#include "payload/payload.h"

// The directory and trailer as found, with the bytes they were read from.
struct PayloadTail {
    int32_t end;             // file offset just past the trailer: the file size, unless a signature follows
    int32_t dir_offset;      // D, from the trailer
    int32_t size;            // end - D: directory, checksum table when flagged, and trailer (< 1024)
    int32_t first_block;     // B, from the directory
    int32_t count;           // N, from the directory; its size entries lie inside bytes
    uint32_t total_unpacked;
    int flags;
    unsigned char bytes[PAYLOAD_TAIL_LIMIT];  // size bytes read from D
};

// Finds the trailer of the open file: first as its last 9 bytes; when those fail the checks and the file is
// a PE image whose certificate table ends the file, right before that table, after 0 to 7 zero bytes of
// alignment padding (the fewest that pass). The checks: 0 <= D <= end - 12, end - D < 1024, N > 0,
// 0 < B < end, and the N size entries inside the directory; a trailer before a certificate table must also
// have its blocks back to back from B up to D, since padding zeros could otherwise pass for a flags byte.
// False when no place passes, or the file cannot be read.
bool find_payload_tail(FILE* file, PayloadTail* tail);

// Stored size of block i (0 <= i < count) from the directory.
int32_t tail_block_size(const PayloadTail* tail, int32_t i);

// True when the option flags announce a checksum table.
bool tail_has_checksums(const PayloadTail* tail);

// True when the checksum table's N entries fit between the last size entry and the trailer.
bool checksum_table_fits(const PayloadTail* tail);

// Checksum i of the table (big-endian CRC-32); the table must fit.
uint32_t tail_checksum(const PayloadTail* tail, int32_t i);

// CRC-32 (zlib's polynomial) of a block's stored bytes, its header included.
uint32_t block_checksum(const unsigned char* data, int32_t size);

// Index of the first block whose CRC-32 differs from the table, or -1 when all match.
// The table must be flagged and fit; blocks are count loaded blocks in directory order.
int32_t first_bad_checksum(const PayloadTail* tail, PayloadBlock* const* blocks);

// Loads the tail's N blocks from B, back to back. Null when memory runs out or a block cannot be read
// whole (nothing is left allocated then). Checksums are not looked at.
PayloadBlock** load_blocks(FILE* file, const PayloadTail* tail);
