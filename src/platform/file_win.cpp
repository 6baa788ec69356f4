// File opening for Windows: the UTF-8 path turned into UTF-16 for _wfopen.
#include <windows.h>

#include "platform/file.h"
#include "platform/text_win.h"

namespace {

FILE* open_wide(const char* path, const wchar_t* mode) {
    wchar_t wide[WIDE_PATH_CAP];
    if (!utf16_from_utf8(path, wide, WIDE_PATH_CAP)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    return _wfopen(wide, mode);
}

}  // namespace

FILE* os_open_file(const char* path) { return open_wide(path, L"rb"); }

FILE* os_create_file(const char* path) { return open_wide(path, L"wb"); }
