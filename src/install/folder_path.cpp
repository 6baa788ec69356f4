// The picker's trailing-backslash rule over whole UTF-16 characters.
#include <cwchar>

#include "install/shell.h"

namespace {

bool is_low_surrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

size_t finish_folder_path(wchar_t* path) {
    const size_t length = wcslen(path);
    if (length == 0) return 0;
    const wchar_t last = path[length - 1];
    if (last == L'\\' || last == L'/') return length;

    // The character before the last: a surrogate pair counts as one character.
    size_t last_start = length - 1;
    if (is_low_surrogate(last) && last_start > 0) --last_start;
    // One character alone, or "X:" + one character, is left as the user typed it.
    if (last_start == 0 || path[last_start - 1] == L':') return length;

    path[length] = L'\\';
    path[length + 1] = L'\0';
    return length + 1;
}
