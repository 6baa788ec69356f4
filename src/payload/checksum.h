// Block checksums: zlib's CRC-32 of a block's stored bytes (or the manifest's), whole or in pieces.
#pragma once
#include <cstdint>

// CRC-32 (zlib's polynomial) of a block's stored bytes, its header included; of the manifest's bytes too.
uint32_t block_checksum(const unsigned char* data, int32_t size);

// The same CRC-32 over bytes given in pieces: start, then add each piece in order.
uint32_t block_checksum_start();
uint32_t block_checksum_add(uint32_t crc, const unsigned char* data, int32_t size);
