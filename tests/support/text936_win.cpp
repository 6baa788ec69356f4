// Code page 936 and UTF-8 conversions of the Windows tests.
#include "support/text936_win.h"

#include <windows.h>

namespace {

std::wstring to_wide(UINT code_page, const std::string& in) {
    if (in.empty()) return std::wstring();
    const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), &out[0], n);
    return out;
}

std::string to_narrow(UINT code_page, const std::wstring& in) {
    if (in.empty()) return std::string();
    const int n = WideCharToMultiByte(code_page, 0, in.data(), int(in.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(code_page, 0, in.data(), int(in.size()), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace

std::wstring wide936(const std::string& cp936) { return to_wide(936, cp936); }

std::string narrow936(const std::wstring& text) { return to_narrow(936, text); }

std::string utf8_of(const std::wstring& text) { return to_narrow(CP_UTF8, text); }

std::wstring wide_of_utf8(const std::string& utf8) { return to_wide(CP_UTF8, utf8); }
