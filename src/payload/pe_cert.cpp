// Reads a PE image's headers: the program's signature, and the certificate table that Authenticode signing appends.
#include "payload/pe_cert.h"

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

namespace {

constexpr size_t COFF_HEADER_SIZE = 20;
constexpr size_t COFF_OPTIONAL_SIZE = 16;  // SizeOfOptionalHeader, inside the COFF header
constexpr uint16_t PE32_MAGIC = 0x10B;
constexpr uint16_t PE32_PLUS_MAGIC = 0x20B;
constexpr uint32_t SECURITY_DIRECTORY = 4;

// The security directory entry of a PE32 or PE32+ image whose headers lie within head: false when there is none.
bool security_entry(const unsigned char* head, size_t head_len, uint32_t* offset, uint32_t* size) {
    if (!pe_has_signature(head, head_len)) return false;
    const uint64_t pe = le32(head + PE_POINTER_AT);
    const uint64_t optional = pe + 4 + COFF_HEADER_SIZE;
    if (optional + 2 > head_len) return false;
    const uint16_t optional_size = le16(head + pe + 4 + COFF_OPTIONAL_SIZE);

    // The data directories follow the fixed fields, whose size depends on the image's word size.
    const uint16_t magic = le16(head + optional);
    uint64_t count_at;
    if (magic == PE32_MAGIC) count_at = 92;
    else if (magic == PE32_PLUS_MAGIC) count_at = 108;
    else return false;
    const uint64_t entry_at = count_at + 4 + 8 * SECURITY_DIRECTORY;
    if (entry_at + 8 > optional_size || optional + entry_at + 8 > head_len) return false;
    if (le32(head + optional + count_at) <= SECURITY_DIRECTORY) return false;

    // Unlike every other directory entry, the security entry holds a file offset, not a memory address.
    *offset = le32(head + optional + entry_at);
    *size = le32(head + optional + entry_at + 4);
    return true;
}

}  // namespace

bool pe_has_dos_magic(const unsigned char* head, size_t head_len) {
    return head && head_len >= 2 && head[0] == 'M' && head[1] == 'Z';
}

bool pe_is_header_signature(const unsigned char* p) { return p[0] == 'P' && p[1] == 'E' && p[2] == 0 && p[3] == 0; }

bool pe_has_signature(const unsigned char* head, size_t head_len) {
    if (!pe_has_dos_magic(head, head_len) || head_len < PE_POINTER_AT + 4) return false;
    // 64-bit sums: a pointer near 4 GiB must not wrap the bounds tests.
    const uint64_t pe = le32(head + PE_POINTER_AT);
    return pe + 4 <= head_len && pe_is_header_signature(head + pe);
}

bool pe_certificate_table(const unsigned char* head, size_t head_len, uint32_t file_size, uint32_t* table_offset) {
    uint32_t offset = 0, size = 0;
    if (!security_entry(head, head_len, &offset, &size)) return false;
    if (size == 0 || offset == 0 || uint64_t(offset) + size != file_size) return false;
    *table_offset = offset;
    return true;
}

bool pe_without_certificates(const unsigned char* head, size_t head_len) {
    uint32_t offset = 0, size = 0;
    return security_entry(head, head_len, &offset, &size) && offset == 0 && size == 0;
}
