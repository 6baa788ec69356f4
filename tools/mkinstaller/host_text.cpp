// The tool's platform layer, its portable part: stored names from and for the file system through the platform's
// code page 936 conversions, and bytes shown when a name does not convert.
#include "host.h"
#include "platform/code_page.h"

bool cp936_from_native(const std::filesystem::path& name, std::string* out) {
    const std::string utf8 = path_for_engine(name);
    std::string bytes(utf8.size() + 1, '\0');
    size_t len = 0;
    if (!os_cp936_from_utf8(utf8.data(), utf8.size(), &bytes[0], bytes.size(), &len)) return false;
    bytes.resize(len);
    *out = bytes;
    return true;
}

std::string cp936_for_display(const unsigned char* name, size_t len) {
    const char* bytes = reinterpret_cast<const char*>(name);
    std::string text(3 * len + 1, '\0');
    size_t text_len = 0;
    if (!os_utf8_from_cp936(bytes, len, &text[0], text.size(), &text_len))
        return ascii_with_escapes(std::string(bytes, len));
    text.resize(text_len);
    return text;
}

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
