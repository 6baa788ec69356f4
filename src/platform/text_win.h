// Text conversions of the Windows layers: UTF-8, UTF-16 and code page 936, each refusing what has no exact form.
#pragma once
#include <cstddef>

// UTF-16 units of the longest path the Windows layers convert, NUL included.
constexpr size_t WIDE_PATH_CAP = 4096;

// Code page 936, the payload's names and the product's texts, whatever the system's own code page.
constexpr unsigned CP_GBK = 936;

// NUL-terminated in into out (cap units, NUL included). False, with out empty, when in is not valid UTF-8
// or does not fit.
bool utf16_from_utf8(const char* in, wchar_t* out, size_t cap);

// NUL-terminated in into out (cap bytes, NUL included). False, with out empty, when in holds a lone surrogate
// or does not fit.
bool utf8_from_utf16(const wchar_t* in, char* out, size_t cap);

// A UTF-8 path for a wide call into out; false, with ERROR_INVALID_NAME as the thread's last error, when it
// is not valid UTF-8 or longer than WIDE_PATH_CAP units.
bool wide_path(const char* path, wchar_t (&out)[WIDE_PATH_CAP]);

// len bytes of code page 936 into out (cap units, NUL added). False, with out empty, when a byte sequence has
// no character in code page 936 or the result does not fit.
bool utf16_from_cp936(const char* in, size_t len, wchar_t* out, size_t cap);
