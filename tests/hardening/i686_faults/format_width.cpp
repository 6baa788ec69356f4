// expect: -Wformat
// %llu for a size_t: right where size_t has 64 bits, reads past the argument where it has 32.
#include <cstddef>
#include <cstdio>

void print_count(char* out, size_t cap, size_t count) { snprintf(out, cap, "%llu files", count); }
