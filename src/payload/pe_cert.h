// A PE image's headers: whether a file is a Windows program, and where Authenticode signing put its certificate table.
#pragma once
#include <cstddef>
#include <cstdint>

// The PE format's fields are little-endian: the 32-bit and 16-bit values at p.
uint32_t le32(const unsigned char* p);
uint16_t le16(const unsigned char* p);

// Where the DOS header holds the file offset of the PE header (e_lfanew).
constexpr size_t PE_POINTER_AT = 0x3C;

// Alignment padding Authenticode puts between the image's end and its certificate table (which starts on an
// 8-byte boundary): at most 7 zero bytes. Removing the signature again leaves them at the file's end.
constexpr int32_t MAX_CERT_PADDING = 7;

// Bytes of the file's start that pe_certificate_table needs at most: the DOS header's pointer to the
// PE header is trusted only when the headers it leads to lie within them.
constexpr size_t PE_HEAD_LIMIT = 4096;

// Reads the security directory entry (data directory 4) of the PE image whose first head_len bytes are
// head, for a file of file_size bytes. True, with the table's file offset in *table_offset, when the
// headers are a PE32 or PE32+ image ("MZ", "PE\0\0", a known optional header magic, room for the entry)
// and the entry names a non-empty certificate table that ends exactly at the end of the file.
// False for anything else: not a PE image, headers beyond head_len, no entry, an empty entry, or a table
// that does not end the file. Never reads past head + head_len.
bool pe_certificate_table(const unsigned char* head, size_t head_len, uint32_t file_size, uint32_t* table_offset);

// True when head (the file's first head_len bytes) starts like a Windows program: "MZ", and the DOS header's
// pointer leading to "PE\0\0" within head. Says nothing of what follows the signature.
bool pe_has_signature(const unsigned char* head, size_t head_len);

// The two marks pe_has_signature looks for: "MZ" at the start of head (head_len bytes), and "PE\0\0" in the
// four bytes at p (where the DOS header's pointer leads).
bool pe_has_dos_magic(const unsigned char* head, size_t head_len);
bool pe_is_header_signature(const unsigned char* p);

// True when the headers are a PE32 or PE32+ image, as for pe_certificate_table, whose security entry is there
// and empty (offset 0, size 0): an image never signed, or one whose signature was removed again.
bool pe_without_certificates(const unsigned char* head, size_t head_len);
