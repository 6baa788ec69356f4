// System errors on Windows: GetLastError and the system's message for it, in UTF-8.
#include <windows.h>

#include <cstdio>

#include "platform/error.h"

int os_last_error() { return int(GetLastError()); }

OsErrorKind os_error_kind(int code) {
    switch (DWORD(code)) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE: return OsErrorKind::held;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return OsErrorKind::denied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return OsErrorKind::full;
    case ERROR_FILENAME_EXCED_RANGE: return OsErrorKind::too_long;
    default: return OsErrorKind::other;
    }
}

void os_error_text(int code, char* buf, size_t cap) {
    if (cap == 0) return;
    wchar_t text[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, DWORD(code), 0, text,
                             DWORD(sizeof text / sizeof text[0]), nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L'.' || text[n - 1] == L' ')) --n;
    if (n == 0) {
        snprintf(buf, cap, "system error %d", code);
        return;
    }
    const int len = WideCharToMultiByte(CP_UTF8, 0, text, int(n), buf, int(cap - 1), nullptr, nullptr);
    buf[len > 0 ? len : 0] = '\0';
}
