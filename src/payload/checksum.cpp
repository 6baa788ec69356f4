// Block checksums: zlib's CRC-32 over each block's stored bytes, against the table after the directory.
#include <zlib.h>

#include "payload/checksum.h"
#include "payload/tail.h"

uint32_t block_checksum(const unsigned char* data, int32_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    if (data && size > 0) crc = crc32(crc, data, uInt(size));
    return uint32_t(crc);
}

uint32_t block_checksum_start() { return uint32_t(crc32(0L, Z_NULL, 0)); }

uint32_t block_checksum_add(uint32_t crc, const unsigned char* data, int32_t size) {
    return data && size > 0 ? uint32_t(crc32(uLong(crc), data, uInt(size))) : crc;
}

int32_t first_bad_checksum(const PayloadTail* tail, PayloadBlock* const* blocks) {
    for (int32_t i = 0; i < tail->count; ++i)
        if (block_checksum(blocks[i]->data, blocks[i]->size) != tail_checksum(tail, i)) return i;
    return -1;
}
