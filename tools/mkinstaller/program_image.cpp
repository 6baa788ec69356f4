// Checks a program image's headers and computes the PE checksum, as the PE format lays them out.
#include "program_image.h"

#include <cstdio>
#include <cstring>

#include "payload/pe_cert.h"

namespace {

constexpr size_t FILE_HEADER_SIZE = 20;  // after "PE\0\0": machine, section count, ... optional header size
constexpr size_t SECTION_HEADER_SIZE = 40;
constexpr size_t CHECKSUM_IN_OPTIONAL = 64;  // the CheckSum field, the same in PE32 and PE32+
constexpr size_t SIZE_OF_HEADERS_IN_OPTIONAL = 60;
constexpr uint16_t MAGIC_PE32 = 0x10B, MAGIC_PE32_PLUS = 0x20B;
// The optional header's fixed part, before its data directories; NumberOfRvaAndSizes ends it.
constexpr size_t FIXED_PE32 = 96, FIXED_PE32_PLUS = 112;

std::string hex(uint64_t x) {
    char text[24];
    snprintf(text, sizeof text, "0x%llX", (unsigned long long)x);
    return text;
}

}  // namespace

std::string program_image_problem(const uint8_t* image, size_t size, ProgramImage* out) {
    const std::string where = "the program image (the first " + std::to_string(size) + " bytes) ";
    if (size < PE_POINTER_AT + 4 || !pe_has_dos_magic(image, size))
        return where + "does not begin with \"MZ\": it is no Windows program";
    const uint64_t pe = le32(image + PE_POINTER_AT);
    const uint64_t optional = pe + 4 + FILE_HEADER_SIZE;
    if (optional > size) return where + "has its PE header pointer (" + hex(pe) + ") outside it";
    if (!pe_is_header_signature(image + pe))
        return where + "has no \"PE\\0\\0\" where its header pointer leads (" + hex(pe) + ")";
    const uint32_t sections = le16(image + pe + 6);
    const uint32_t optional_size = le16(image + pe + 20);
    if (optional + optional_size > size) return where + "ends inside its optional header";
    const uint32_t magic = optional_size >= 2 ? le16(image + optional) : 0;
    if (magic != MAGIC_PE32 && magic != MAGIC_PE32_PLUS)
        return where + "has an optional header of magic " + hex(magic) + ", neither PE32 (0x10B) nor PE32+ (0x20B)";
    const bool plus = magic == MAGIC_PE32_PLUS;
    const size_t fixed = plus ? FIXED_PE32_PLUS : FIXED_PE32;
    const uint64_t directories = optional_size >= fixed ? le32(image + optional + fixed - 4) : 0;
    if (optional_size < fixed || fixed + directories * 8 > optional_size)
        return where + "has an optional header of " + std::to_string(optional_size) +
               " bytes, too small for its fields and data directories";
    const uint64_t table = optional + optional_size;
    if (sections == 0) return where + "has no sections";
    if (table + uint64_t(sections) * SECTION_HEADER_SIZE > size)
        return where + "ends inside its section table (" + std::to_string(sections) + " sections)";
    const uint64_t headers = le32(image + optional + SIZE_OF_HEADERS_IN_OPTIONAL);
    if (headers > size) return where + "is shorter than its SizeOfHeaders (" + std::to_string(headers) + ")";
    for (uint32_t i = 0; i < sections; ++i) {
        const uint8_t* s = image + table + i * SECTION_HEADER_SIZE;
        const uint64_t raw_size = le32(s + 16), raw_at = le32(s + 20);
        if (raw_size && raw_at + raw_size > size)
            return where + "is shorter than its section " + std::to_string(i) + " (" +
                   std::string(reinterpret_cast<const char*>(s), strnlen(reinterpret_cast<const char*>(s), 8)) +
                   "), whose data runs from " + hex(raw_at) + " to " + hex(raw_at + raw_size);
    }
    out->plus = plus;
    out->sections = int(sections);
    out->checksum_at = size_t(optional + CHECKSUM_IN_OPTIONAL);
    out->checksum = le32(image + out->checksum_at);
    return "";
}

void PeChecksum::add(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i, ++offset_) {
        if (offset_ - skip_ < 4) continue;  // the CheckSum field counts as zero
        sum_ += uint64_t(bytes[i]) << (offset_ & 1 ? 8 : 0);
    }
}

uint32_t PeChecksum::value() const {
    uint64_t folded = sum_;
    while (folded > 0xFFFF) folded = (folded & 0xFFFF) + (folded >> 16);
    return uint32_t(folded + offset_);
}
