// Text conversions for the Windows layers through MultiByteToWideChar and WideCharToMultiByte.
#include "platform/text_win.h"

#include <windows.h>

#include <cstring>

namespace {

// MB_ERR_INVALID_CHARS: a sequence with no character fails the call instead of becoming U+FFFD, so a name
// is never silently turned into another one.
bool to_utf16(UINT code_page, const char* in, int len, wchar_t* out, size_t cap) {
    if (cap == 0) return false;
    out[0] = L'\0';
    if (len == 0) return true;
    const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in, len, out, int(cap - 1));
    if (n <= 0) {
        out[0] = L'\0';
        return false;
    }
    out[n] = L'\0';
    return true;
}

}  // namespace

bool utf16_from_utf8(const char* in, wchar_t* out, size_t cap) {
    return to_utf16(CP_UTF8, in, int(strlen(in)), out, cap);
}

bool wide_path(const char* path, wchar_t (&out)[WIDE_PATH_CAP]) {
    if (utf16_from_utf8(path, out, WIDE_PATH_CAP)) return true;
    SetLastError(ERROR_INVALID_NAME);
    return false;
}

bool utf16_from_cp936(const char* in, size_t len, wchar_t* out, size_t cap) {
    return to_utf16(CP_GBK, in, int(len), out, cap);
}

bool utf8_from_utf16(const wchar_t* in, char* out, size_t cap) {
    if (cap == 0) return false;
    out[0] = '\0';
    const int len = int(wcslen(in));
    if (len == 0) return true;
    // WC_ERR_INVALID_CHARS is Vista's; without it a lone surrogate would become U+FFFD, so check first.
    for (int i = 0; i < len; ++i) {
        const bool high = in[i] >= 0xD800 && in[i] <= 0xDBFF;
        const bool low = in[i] >= 0xDC00 && in[i] <= 0xDFFF;
        if (low || (high && !(i + 1 < len && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF))) return false;
        if (high) ++i;
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, in, len, out, int(cap - 1), nullptr, nullptr);
    if (n <= 0) {
        out[0] = '\0';
        return false;
    }
    out[n] = '\0';
    return true;
}
