// Payload container: the blocks, directory and trailer appended to the installer executable.
#pragma once
#include <cstdint>
#include <cstdio>

// One compressed block exactly as stored (block header included); data from malloc.
struct PayloadBlock {
    unsigned char* data;
    int32_t size;
};

// The trailer is the last 9 bytes; directory + trailer stay under this many bytes.
constexpr int32_t PAYLOAD_TRAILER_SIZE = 9;
constexpr int32_t PAYLOAD_TAIL_LIMIT = 1024;
// Largest total unpacked size whose progress range (3x) still fits a signed 32-bit value.
constexpr uint32_t PAYLOAD_MAX_TOTAL_UNPACKED = 715827882;

// Option flag bits of the trailer.
constexpr int PAYLOAD_FLAG_SERVICE_SHORTCUT = 0x01;
constexpr int PAYLOAD_FLAG_SERVICE_LAUNCH = 0x02;
// A table of N big-endian CRC-32 values, one per block, follows the directory's size entries.
constexpr int PAYLOAD_FLAG_CHECKSUMS = 0x80;

// Loads every block of the payload appended to the running executable, signed or not (find_payload_tail).
// Returns an array of *count blocks (caller owns array, blocks and buffers; release with free_payload),
// or null when the file cannot be opened, the trailer or directory fails its checks, a block runs past
// the payload's end or cannot be read whole, memory runs out, or - with the checksum flag set - the
// checksum table does not fit the directory's bytes or a block's CRC-32 differs from it (nothing is left
// allocated then). Out values mean something only on success.
PayloadBlock** read_payload(int32_t* count, uint32_t* total_unpacked, int* flags);

// As read_payload, for the installer file at path (the vendor tool and tests).
PayloadBlock** read_payload_file(const char* path, int32_t* count, uint32_t* total_unpacked, int* flags);

// As read_payload, for an installer already open for reading (positioned anywhere; left open).
PayloadBlock** read_payload_stream(FILE* file, int32_t* count, uint32_t* total_unpacked, int* flags);

// Releases what read_payload returned: each buffer, each block, then the array. Null is fine.
void free_payload(PayloadBlock** blocks, int32_t count);

// A malloc'd buffer for a block's stored or unpacked bytes (release with free): at least one byte, so an
// empty block is not mistaken for a failure, and large pages preferred. Null when memory runs out.
unsigned char* alloc_block_buffer(size_t size);

// Allocates size bytes and fills them from the file's current position.
// Null when memory runs out or the file ends before size bytes were read.
unsigned char* read_bytes(FILE* file, int32_t size);

// Big-endian integers of the payload formats.
inline uint32_t read_be32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint16_t read_be16(const unsigned char* p) { return uint16_t(p[0] << 8 | p[1]); }
