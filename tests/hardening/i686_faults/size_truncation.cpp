// expect: -Wshorten-64-to-32
// A file's 64-bit size made a buffer length: above 4 GiB the 32-bit size_t keeps only the low bits.
#include <cstdint>
#include <vector>

std::vector<unsigned char> buffer_for(uint64_t file_size) { return std::vector<unsigned char>(file_size); }
