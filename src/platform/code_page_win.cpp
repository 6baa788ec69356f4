// Code page 936 and UTF-8 on Windows: through UTF-16 with MultiByteToWideChar and WideCharToMultiByte.
#include "platform/code_page.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/text_win.h"

namespace {

// len bytes of code_page as UTF-16 into a new buffer (the caller's to free), *units its length; null when a
// sequence has no character (MB_ERR_INVALID_CHARS) or memory runs out. An empty string gives an empty buffer.
wchar_t* wide_of(UINT code_page, const char* in, size_t len, int* units) {
    *units = 0;
    auto* wide = static_cast<wchar_t*>(malloc((len + 1) * sizeof(wchar_t)));
    if (!wide || len == 0) return wide;
    *units = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in, int(len), wide, int(len));
    if (*units > 0) return wide;
    free(wide);
    return nullptr;
}

// units of UTF-16 as code_page into out (cap bytes, NUL added). A character with no exact form fails (no best-fit
// substitutes, no default character); UTF-8 takes neither flag, and every character has a form there.
bool narrow_of(UINT code_page, const wchar_t* wide, int units, char* out, size_t cap, size_t* out_len) {
    if (cap == 0) return false;
    *out_len = 0;
    out[0] = '\0';
    if (units == 0) return true;
    BOOL used_default = FALSE;
    BOOL* report = code_page == CP_UTF8 ? nullptr : &used_default;
    const DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int n = WideCharToMultiByte(code_page, flags, wide, units, out, int(cap - 1), nullptr, report);
    if (n <= 0 || used_default) return false;
    out[n] = '\0';
    *out_len = size_t(n);
    return true;
}

}  // namespace

bool os_utf8_from_cp936(const char* in, size_t len, char* out, size_t cap, size_t* out_len) {
    int units = 0;
    wchar_t* wide = wide_of(CP_GBK, in, len, &units);
    const bool ok = wide && narrow_of(CP_UTF8, wide, units, out, cap, out_len);
    free(wide);
    return ok;
}

bool os_cp936_from_utf8(const char* in, size_t len, char* out, size_t cap, size_t* out_len) {
    int units = 0, back_units = 0;
    wchar_t* wide = wide_of(CP_UTF8, in, len, &units);
    bool ok = wide && narrow_of(CP_GBK, wide, units, out, cap, out_len);
    // The round trip catches what the flags may let through on older systems.
    wchar_t* back = ok ? wide_of(CP_GBK, out, *out_len, &back_units) : nullptr;
    ok = back && back_units == units && memcmp(back, wide, size_t(units) * sizeof(wchar_t)) == 0;
    free(back);
    free(wide);
    return ok;
}
