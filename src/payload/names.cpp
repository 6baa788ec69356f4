// Payload name checks and code page 936 stepping.
#include "payload/names.h"

#include <cctype>
#include <cstring>

size_t cp936_char_len(const unsigned char* p, size_t left) {
    if (left >= 2 && p[0] >= 0x81 && p[0] <= 0xFE && p[1] >= 0x40 && p[1] <= 0xFE && p[1] != 0x7F) return 2;
    return 1;
}

namespace {

bool is_device_name(const unsigned char* c, size_t len) {
    // The base name before any extension, trailing spaces ignored, as Windows resolves it.
    size_t base = 0;
    while (base < len && c[base] != '.') ++base;
    while (base > 0 && c[base - 1] == ' ') --base;
    char up[5] = {0};
    if (base < 3 || base > 4) return false;
    for (size_t i = 0; i < base; ++i) up[i] = char(toupper(c[i]));
    if (base == 3) return !strcmp(up, "CON") || !strcmp(up, "PRN") || !strcmp(up, "AUX") || !strcmp(up, "NUL");
    return (!strncmp(up, "COM", 3) || !strncmp(up, "LPT", 3)) && up[3] >= '1' && up[3] <= '9';
}

bool component_is_safe(const unsigned char* c, size_t len) {
    if (len == 0) return false;
    bool only_dots_and_spaces = true;
    for (size_t i = 0; i < len; ++i)
        if (c[i] != '.' && c[i] != ' ') only_dots_and_spaces = false;
    return !only_dots_and_spaces && !is_device_name(c, len);
}

}  // namespace

bool payload_name_is_safe(const unsigned char* name, size_t len) {
    if (len == 0) return false;
    size_t i = 0;
    if (name[0] == '\\' || name[0] == '/') i = 1;  // the leading separator every name carries
    size_t start = i;
    while (i < len) {
        size_t step = cp936_char_len(name + i, len - i);
        if (step == 1) {
            unsigned char b = name[i];
            if (b < 0x20 || b == ':' || b == 0x7F) return false;
            if (b >= 0x81) return false;  // a lead byte without its trail byte
            if (b == '\\' || b == '/') {
                if (!component_is_safe(name + start, i - start)) return false;
                start = i + 1;
            }
        }
        i += step;
    }
    return component_is_safe(name + start, len - start);
}

bool ends_with_separator(const char* s) {
    const size_t len = strlen(s);
    return len > 0 && (s[len - 1] == '\\' || s[len - 1] == '/');
}
