// Code page 936 ↔ UTF-16 for the Windows tests, which name files by the code page 936 bytes the payload stores.
#pragma once
#include <string>

// The UTF-16 form of code page 936 bytes (empty when they have none).
std::wstring wide936(const std::string& cp936);

// The code page 936 bytes of a UTF-16 text (characters without a form become '?').
std::string narrow936(const std::wstring& text);

// The UTF-8 bytes of a UTF-16 text, as the engine takes paths, and back (empty when not valid UTF-8).
std::string utf8_of(const std::wstring& text);
std::wstring wide_of_utf8(const std::string& utf8);
