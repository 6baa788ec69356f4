// Windows' case folding of file names: one UTF-16 unit to its upper-case unit, as NTFS's $UpCase table does.
#pragma once

// The unit's simple upper case within the Basic Multilingual Plane (ω -> Ω, д -> Д, ａ -> Ａ), or the unit itself.
// Two names whose units fold to the same units are one name on Windows.
char16_t windows_upcase(char16_t unit);

// The Unicode version the table was generated from (scripts/gen_upcase_table.py).
extern const char* const UPCASE_UNICODE_VERSION;
