// The tool's platform layer, its portable part: bytes shown when a name does not convert.
#include "host.h"

std::string ascii_with_escapes(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            text += char(c);
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        }
    }
    return text;
}
