// Windows' rules for one name: refused characters, trailing dots and spaces, device names, case folding.
#include "windows_names.h"

#include <cstdio>

#include "upcase_table.h"

namespace {

std::string unit_text(char16_t unit) {
    char text[16];
    snprintf(text, sizeof text, "U+%04X", unsigned(unit));
    return text;
}

char16_t ascii_upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; }

bool equals_ascii(const std::u16string& name, size_t len, const char* word) {
    size_t i = 0;
    for (; i < len && word[i]; ++i)
        if (ascii_upper(name[i]) != char16_t(word[i])) return false;
    return i == len && !word[i];
}

// The device a name stands for on Windows, or empty. The base name counts, before the first dot and without
// the spaces before it, so "con.txt" and "Lpt1 .log" open the device too.
std::string device_name(const std::u16string& name) {
    size_t base = name.find(u'.');
    if (base == std::u16string::npos) base = name.size();
    while (base > 0 && name[base - 1] == u' ') --base;
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (equals_ascii(name, base, device)) return device;
    if (base != 4 || !(equals_ascii(name, 3, "COM") || equals_ascii(name, 3, "LPT"))) return "";
    const char16_t digit = name[3];
    const std::string device = name[0] == u'c' || name[0] == u'C' ? "COM" : "LPT";
    if (digit >= u'1' && digit <= u'9') return device + char('0' + (digit - u'0'));
    // Windows documents COM and LPT with the superscript digits too.
    if (digit == u'\u00B9') return device + " with superscript 1";
    if (digit == u'\u00B2') return device + " with superscript 2";
    if (digit == u'\u00B3') return device + " with superscript 3";
    return "";
}

}  // namespace

std::vector<std::string> windows_name_problems(const std::u16string& name) {
    std::vector<std::string> problems;
    for (char16_t c : name) {
        if (c == u'\\') {
            problems.push_back("has a backslash, which Windows takes for a folder separator");
        } else if (c < 0x20 || c == 0x7F) {
            problems.push_back("has the control character " + unit_text(c));
        } else if (std::u16string(u"<>:\"/|?*").find(c) != std::u16string::npos) {
            problems.push_back(std::string("has '") + char(c) + "', which Windows does not allow in a name");
        } else {
            continue;
        }
        break;  // one reason of this kind is enough
    }
    if (!name.empty() && name.back() == u'.') problems.push_back("ends with a dot, which Windows drops");
    if (!name.empty() && name.back() == u' ') problems.push_back("ends with a space, which Windows drops");
    const std::string device = device_name(name);
    if (!device.empty()) problems.push_back("is the device " + device + " on Windows, not a file");
    return problems;
}

std::u16string windows_name_key(const std::u16string& name) {
    std::u16string key = name;
    for (char16_t& unit : key) unit = windows_upcase(unit);
    return key;
}
