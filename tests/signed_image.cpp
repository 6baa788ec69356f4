// Minimal PE headers and stand-in certificate tables, laid out as the PE format puts them.
#include "signed_image.h"

namespace {

size_t optional_header_at() { return PE_HEADER_AT + 4 + 20; }

}  // namespace

void put_le32(std::vector<uint8_t>* v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) (*v)[at + i] = uint8_t(x >> (8 * i));
}

void put_be32(std::vector<uint8_t>* v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) (*v)[at + i] = uint8_t(x >> (24 - 8 * i));
}

size_t security_entry_at(bool plus) { return optional_header_at() + (plus ? 112 : 96) + 4 * 8; }

std::vector<uint8_t> minimal_pe(size_t size, bool plus) {
    std::vector<uint8_t> image(size, 0xCC);
    for (size_t i = 0; i < 0x40; ++i) image[i] = 0;
    image[0] = 'M';
    image[1] = 'Z';
    put_le32(&image, 0x3C, PE_HEADER_AT);
    const size_t pe = PE_HEADER_AT;
    const size_t optional_size = plus ? 240 : 224;
    for (size_t i = pe; i < optional_header_at() + optional_size; ++i) image[i] = 0;
    image[pe] = 'P';
    image[pe + 1] = 'E';
    image[pe + 4] = plus ? 0x64 : 0x4C;  // machine: x86-64 or i386
    image[pe + 5] = plus ? 0x86 : 0x01;
    image[pe + 20] = uint8_t(optional_size);
    image[optional_header_at()] = 0x0B;
    image[optional_header_at() + 1] = plus ? 0x02 : 0x01;
    put_le32(&image, optional_header_at() + (plus ? 108 : 92), 16);  // NumberOfRvaAndSizes
    put_le32(&image, optional_header_at() + 60, 0x200);              // SizeOfHeaders
    // One section, ".text", with no data in the file.
    image[pe + 6] = 1;
    const size_t section = optional_header_at() + optional_size;
    for (size_t i = section; i < section + 40; ++i) image[i] = 0;
    for (size_t i = 0; i < 5; ++i) image[section + i] = uint8_t(".text"[i]);
    put_le32(&image, section + 8, 0x1000);   // VirtualSize
    put_le32(&image, section + 12, 0x1000);  // VirtualAddress
    return image;
}

void append_signature(std::vector<uint8_t>* file, size_t padding, size_t table_size, bool plus) {
    file->insert(file->end(), padding, 0);
    const size_t table = file->size();
    file->resize(table + table_size, 0x5A);
    put_le32(file, table, uint32_t(table_size));  // WIN_CERTIFICATE: length, revision 2.0, PKCS#7
    put_le32(file, table + 4, 0x00020200);
    put_le32(file, security_entry_at(plus), uint32_t(table));
    put_le32(file, security_entry_at(plus) + 4, uint32_t(table_size));
}
