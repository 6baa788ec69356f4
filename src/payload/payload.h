// Payload container: the blocks, directory and trailer appended to the installer executable.
#pragma once
#include <cstdint>
#include <cstdio>

#include "payload/format.h"

struct PayloadFile;  // an installer open for reading, which its blocks are read from (container.cpp)

// One compressed block exactly as stored (block header included): its bytes in memory (data, from malloc), or,
// as read_payload gives it, where they lie in the installer (data null, file and offset), read when a decoding
// thread claims the block.
struct PayloadBlock {
    unsigned char* data;
    int32_t size;
    PayloadFile* file = nullptr;  // with data null: the installer the block is read from, shared by all its blocks
    int32_t offset = 0;           // with data null: the block's file offset
};

// Copies size bytes of the block, from its byte at (0 is its header's first byte), into out: from data, or read
// from the installer. Any thread may call it; the reads of one file take turns. False when at and size do not lie
// inside the block or the bytes cannot be read.
bool read_block_bytes(const PayloadBlock* block, int32_t at, unsigned char* out, int32_t size);

// Why a container was refused, in the order the reader checks: numbered in that order, since a signed file's
// reader keeps the reason of the place that came furthest (the greatest). ReadResult::ok: it was not.
enum class ReadResult {
    ok = 0,
    cannot_open = 1,               // the file cannot be opened or read
    too_small = 2,                 // too small to hold a directory and a trailer
    too_large = 3,                 // 2 GiB or larger: offsets are signed 32-bit values
    cut_short = 4,                 // the file ends inside its directory or trailer
    trailer_out_of_range = 5,      // the directory offset is negative or within 12 bytes of the end
    tail_too_long = 6,             // directory and trailer take 1024 bytes or more
    block_count_out_of_range = 7,  // N <= 0, or its size entries run past the directory
    first_block_out_of_range = 8,  // the first-block offset is not inside the file
    blocks_misplaced = 9,          // signed file: the blocks do not end at the directory
    block_size_out_of_range = 10,  // a size entry is negative or runs past the payload's end
    block_short = 11,              // a block cannot be read whole
    checksum_mismatch = 12,        // a block's CRC-32 differs from the checksum table
    out_of_memory = 13,
    manifest_out_of_range = 14,  // the manifest's locator does not lead right before block 0
    manifest_checksum = 15,      // the manifest's CRC-32 differs from its locator's
    manifest_damaged = 16,       // the manifest's entries are cut short or carry an unsafe name
};

// What a read found: a ReadResult and, for the per-block ones (size, short, checksum), the block's index
// in directory order; -1 otherwise.
struct ReadStatus {
    ReadResult result;
    int32_t block;
};

struct Manifest;  // payload/manifest.h

// A few words saying what a ReadResult means, for messages (the block number is the caller's to add).
const char* read_result_text(ReadResult result);

// Opens the running executable (find_payload_tail: signed or not) and checks its payload: the directory, every
// block's place, the manifest that the trailer announces (manifest.h, refused like a damaged block; when manifest
// is not null it receives it, empty when there is none, and the caller releases it with free_manifest), and the
// checksum table, when there is one, against every block, read once through a small buffer. The blocks are
// not loaded: the array's *count blocks name where they lie (data null), and stay readable, from the file held
// open, until free_payload. The file is opened so that no other program may write, rename or delete it (on
// Windows: shared for reading only) from before the checksum check until free_payload, so that the blocks used
// are the blocks checked. Returns null for every reason above (nothing left open or allocated then).
// *flags is the trailer's byte, with PAYLOAD_FLAG_CHECKSUMS kept only when a table was there (and so matched).
// Out values mean something only on success.
PayloadBlock** read_payload(int32_t* count, uint32_t* total_unpacked, int* flags, Manifest* manifest = nullptr);

// As read_payload, for the installer file at path (UTF-8; the vendor tool and tests); why, when not null, receives
// the reason (ReadResult::ok on success).
PayloadBlock** read_payload_file(const char* path, int32_t* count, uint32_t* total_unpacked, int* flags,
                                 ReadStatus* why = nullptr, Manifest* manifest = nullptr);

// As read_payload_file, for an installer already open for reading (positioned anywhere). The file stays the
// caller's, who keeps it open until free_payload and closes it after.
PayloadBlock** read_payload_stream(FILE* file, int32_t* count, uint32_t* total_unpacked, int* flags,
                                   ReadStatus* why = nullptr, Manifest* manifest = nullptr);

// Releases what read_payload or open_payload (below) returned: each buffer, each block, the array, and the file that
// read_payload opened. Null is fine.
void free_payload(PayloadBlock** blocks, int32_t count);

// A buffer for a block's stored or unpacked bytes (os_alloc_large: release with free, large pages where the
// platform grants them): at least one byte, so an empty block is not mistaken for a failure. Null when memory
// runs out.
unsigned char* alloc_block_buffer(size_t size);

struct PayloadTail;  // payload/tail.h

// find_payload_tail, read_manifest (manifest.h), the blocks located as read_payload_stream gives them (read from
// file as they are used: the file stays the caller's, who keeps it open while they are read and closes it after;
// its position is anywhere afterwards), then the checksum table when there is one, read once through a small
// buffer: the whole reader, for callers that need the tail too (the vendor tool's list and verify, which so hold
// one block at a time whatever the installer's size). ReadResult::ok with *blocks and, when manifest is not null,
// the manifest in it (empty when there is none; the caller releases it with free_manifest); otherwise the first
// reason with its block, and nothing left allocated.
ReadStatus open_payload(FILE* file, PayloadTail* tail, PayloadBlock*** blocks, Manifest* manifest = nullptr);
