// Code page 936 (the payload's names) and UTF-8 (the engine's paths and the tool's text), converted exactly both ways.
#pragma once
#include <cstddef>

// Both conversions take code page 936 as Windows defines it on Windows and as iconv's CP936 on Linux, whatever
// the system's own code page, so that a name converted one way converts back unchanged. Neither substitutes a
// character: what has no exact form fails the call. out receives the result and a NUL after it, *out_len its
// length; out is unspecified after a failure.

// len bytes of code page 936 at in as UTF-8. False when a byte sequence has no character in code page 936 or the
// result does not fit in cap bytes (3 x len + 1 always do).
bool os_utf8_from_cp936(const char* in, size_t len, char* out, size_t cap, size_t* out_len);

// len bytes of UTF-8 at in as code page 936. False when in is not valid UTF-8, a character has no code page 936
// form that converts back to it (no best-fit substitutes), or the result does not fit in cap bytes (len + 1
// always do).
bool os_cp936_from_utf8(const char* in, size_t len, char* out, size_t cap, size_t* out_len);
