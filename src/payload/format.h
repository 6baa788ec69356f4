// The installer file format's constants and fixed-width fields, for the reader, the packer and the inspector alike.
#pragma once
#include <cstdint>

// The trailer: the payload's last 9 bytes, directory offset (4), total unpacked size (4), option flags (1).
constexpr int32_t PAYLOAD_TRAILER_SIZE = 9;
// Directory, checksum table and trailer together stay under this many bytes.
constexpr int32_t PAYLOAD_TAIL_LIMIT = 1024;
// The directory: first-block offset (4) and block count N (4), then N stored sizes of 4 bytes.
constexpr int32_t DIRECTORY_HEADER_SIZE = 8;
constexpr int32_t DIRECTORY_ENTRY_SIZE = 4;
// The checksum table after the size entries: N big-endian CRC-32 values of 4 bytes.
constexpr int32_t CHECKSUM_ENTRY_SIZE = 4;
// Largest total unpacked size whose progress range (3x) still fits a signed 32-bit value.
constexpr uint32_t PAYLOAD_MAX_TOTAL_UNPACKED = 715827882;

// Option flag bits of the trailer. Bits 2-5 are reserved and 0; a reader ignores them.
constexpr int PAYLOAD_FLAG_SERVICE_SHORTCUT = 0x01;
constexpr int PAYLOAD_FLAG_SERVICE_LAUNCH = 0x02;
// A manifest locator ends the tail, right before the trailer. Without room for it there, the bit is a reserved one.
constexpr int PAYLOAD_FLAG_MANIFEST = 0x40;
// The checksum table follows the size entries. Without room for it there, the bit is a reserved one.
constexpr int PAYLOAD_FLAG_CHECKSUMS = 0x80;

// The manifest locator: file offset M of the manifest (4), its length L (4), its CRC-32 (4). The manifest lies
// right before block 0 (M + L = B) and lists every directory and file of the record streams, in their order,
// as their records do but without the files' data: type (1), name length (2), name, a file's data length (4);
// the end record's type byte is its last byte.
constexpr int32_t MANIFEST_LOCATOR_SIZE = 12;
// Largest manifest a reader takes: ample for tens of thousands of entries, and a bound on a hostile locator.
constexpr int32_t MANIFEST_LENGTH_LIMIT = 16 << 20;

// The block header: unpacked size U (4, big-endian), then the five LZMA property bytes: the properties
// byte (pb * 5 + lp) * 9 + lc, below 225, and the dictionary size (4, little-endian).
constexpr int32_t BLOCK_HEADER_SIZE = 9;
constexpr int32_t BLOCK_PROPS_OFFSET = 4;
constexpr int32_t BLOCK_PROPS_SIZE = 5;
constexpr int32_t BLOCK_DICT_OFFSET = 5;
// A properties byte no LZMA block can have (readers refuse 225 and up): the block stores its record stream as it
// is, U bytes right after the header, its dictionary field 0. For data that LZMA does not shrink.
constexpr unsigned char BLOCK_PROPS_STORED = 0xFF;

// Record types of the stream; any type other than directory, file and piece ends the stream. A piece holds part of
// a file larger than a block: a file spanning blocks is a run of pieces in consecutive blocks (reader mark
// revision 2; an older reader would take the piece for the end of its stream).
constexpr unsigned char RECORD_DIR = 1;
constexpr unsigned char RECORD_FILE = 2;
constexpr unsigned char RECORD_PIECE = 3;
constexpr unsigned char RECORD_END = 10;
// A directory or file record: type (1), name length (2), name; a file record then data length (4), data.
// A piece record: type (1), name length (2), name, the whole file's size (4), the piece's offset in it (4), the
// piece's length (4), its bytes. An end record is its type byte alone.
constexpr int32_t RECORD_TYPE_SIZE = 1;
constexpr int32_t RECORD_NAME_LENGTH_SIZE = 2;
constexpr int32_t RECORD_DATA_LENGTH_SIZE = 4;
constexpr int32_t RECORD_PIECE_FIELDS_SIZE = 12;
// The longest record head: type, name length, a name of 65535 bytes and a piece's three fields.
constexpr int32_t RECORD_HEAD_LIMIT = RECORD_TYPE_SIZE + RECORD_NAME_LENGTH_SIZE + 65535 + RECORD_PIECE_FIELDS_SIZE;

// Big-endian integers of the payload formats.
inline uint32_t read_be32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint16_t read_be16(const unsigned char* p) { return uint16_t(p[0] << 8 | p[1]); }
inline void write_be32(unsigned char* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Fields of a block header; the block must hold at least BLOCK_HEADER_SIZE bytes.
inline uint32_t block_unpacked_size(const unsigned char* block) { return read_be32(block); }
inline unsigned char block_properties(const unsigned char* block) { return block[BLOCK_PROPS_OFFSET]; }
// The format's one little-endian field, in the LZMA format's own byte order.
inline uint32_t block_dictionary_size(const unsigned char* block) {
    const unsigned char* p = block + BLOCK_DICT_OFFSET;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
