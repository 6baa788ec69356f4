// Payload names: code page 936 character stepping and the checks that keep writes inside the install directory.
#pragma once
#include <cstddef>

// Bytes of the code page 936 character at p, of at most left bytes: 2 for a lead byte 0x81-0xFE
// followed by a trail byte 0x40-0xFE other than 0x7F, else 1.
size_t cp936_char_len(const unsigned char* p, size_t left);

// True when the name may be joined to the install directory: non-empty; no ':' and no byte below 0x20;
// every component (split on '\' and '/', whole characters only) is non-empty, not made only of dots
// and spaces, and not a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without extension).
// The leading separator is allowed.
bool payload_name_is_safe(const unsigned char* name, size_t len);

// True when the last character of the UTF-8 path s is '\' or '/' (in UTF-8 those bytes are always the
// characters themselves).
bool ends_with_separator(const char* s);
