// Block checksums: zlib's CRC-32 over a block's stored bytes, whole or in pieces.
#include <zlib.h>

#include "payload/checksum.h"

uint32_t block_checksum(const unsigned char* data, int32_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    if (data && size > 0) crc = crc32(crc, data, uInt(size));
    return uint32_t(crc);
}

uint32_t block_checksum_start() { return uint32_t(crc32(0L, Z_NULL, 0)); }

uint32_t block_checksum_add(uint32_t crc, const unsigned char* data, int32_t size) {
    return data && size > 0 ? uint32_t(crc32(uLong(crc), data, uInt(size))) : crc;
}
