// The Windows program in front of the payload: its headers checked, and the PE checksum that covers the whole file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// What the checks found in a well-formed program image.
struct ProgramImage {
    bool plus = false;  // PE32+ (a 64-bit program); PE32 otherwise
    int sections = 0;
    size_t checksum_at = 0;  // file offset of the optional header's CheckSum field
    uint32_t checksum = 0;   // its value
};

// Empty when the first size bytes (the image, up to where the payload begins) are a well-formed Windows
// program, filling *out; otherwise what is wrong, for a message. Well-formed: "MZ" at 0; the pointer at 0x3C
// leads to "PE\0\0" with the file header and the whole optional header after it inside the image; the optional
// header's magic is 0x10B (PE32) or 0x20B (PE32+) and its size holds its fixed part and every data directory it
// counts; at least one section, the section table inside the image, SizeOfHeaders no larger than the image,
// and every section's raw data (PointerToRawData + SizeOfRawData) inside the image.
std::string program_image_problem(const uint8_t* image, size_t size, ProgramImage* out);

// The PE checksum as Windows computes it (CheckSumMappedFile): the file's bytes as little-endian 16-bit words
// (a last odd byte as the low byte of one), the CheckSum field's 4 bytes taken as zero, added with the carry
// folded back into 16 bits, then the file's length added. Fed in pieces, in file order.
class PeChecksum {
public:
    explicit PeChecksum(size_t checksum_at) : skip_(checksum_at) {}
    void add(const uint8_t* bytes, size_t size);
    // The checksum of everything added so far, as the whole file.
    uint32_t value() const;

private:
    size_t skip_;
    uint64_t offset_ = 0;
    uint64_t sum_ = 0;
};
