// Block checksums: zlib's CRC-32 of a block's stored bytes (or the manifest's), whole or in pieces, against the table.
#pragma once
#include <cstdint>

#include "payload/payload.h"

struct PayloadTail;  // payload/tail.h

// CRC-32 (zlib's polynomial) of a block's stored bytes, its header included; of the manifest's bytes too.
uint32_t block_checksum(const unsigned char* data, int32_t size);

// The same CRC-32 over bytes given in pieces: start, then add each piece in order.
uint32_t block_checksum_start();
uint32_t block_checksum_add(uint32_t crc, const unsigned char* data, int32_t size);

// Index of the first block whose CRC-32 differs from the table, or -1 when all match.
// The table must be there; blocks are count loaded blocks in directory order.
int32_t first_bad_checksum(const PayloadTail* tail, PayloadBlock* const* blocks);
