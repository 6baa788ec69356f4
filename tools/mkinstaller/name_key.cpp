// Name keys and parents of stored names, stepping code page 936 characters.
#include "name_key.h"

#include "payload/names.h"

std::string name_key(const unsigned char* name, size_t len) {
    std::string key(reinterpret_cast<const char*>(name), len);
    for (size_t i = 0; i < len;) {
        const size_t step = cp936_char_len(name + i, len - i);
        if (step == 1) {
            char& c = key[i];
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
            if (c == '/') c = '\\';
        }
        i += step;
    }
    return key;
}

size_t parent_len(const unsigned char* name, size_t len) {
    size_t last = 0;
    for (size_t i = 0; i < len;) {
        const size_t step = cp936_char_len(name + i, len - i);
        if (step == 1 && (name[i] == '\\' || name[i] == '/')) last = i;
        i += step;
    }
    return last;
}
