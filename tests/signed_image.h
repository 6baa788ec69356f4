// Test images for the signed-installer path: a minimal PE header, and a stand-in Authenticode signature.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Offsets in minimal_pe(): the PE header pointer's target, and the security directory entry.
constexpr size_t PE_HEADER_AT = 0x80;
// size bytes (at least 512) starting with the headers of a PE32 image, or PE32+ with plus, whose data
// directories include the security entry (empty), and one section without data in the file; the rest is
// filler. Its headers end before 0x1A0 (PE32) or 0x1B0 (PE32+).
std::vector<uint8_t> minimal_pe(size_t size = 512, bool plus = false);
// File offset of the security directory entry (offset, then size, little-endian) in minimal_pe(plus).
size_t security_entry_at(bool plus = false);

// What signing does to an image: padding zero bytes, then a certificate table of table_size bytes (a
// WIN_CERTIFICATE header and filler) that ends the file, and the security entry pointing at it.
void append_signature(std::vector<uint8_t>* file, size_t padding, size_t table_size = 1200, bool plus = false);

void put_le32(std::vector<uint8_t>* v, size_t at, uint32_t x);
void put_be32(std::vector<uint8_t>* v, size_t at, uint32_t x);
