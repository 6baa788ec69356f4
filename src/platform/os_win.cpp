// Platform layer for Windows: the wide functions behind UTF-8 paths, no large pages, code page 936 names.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/os.h"
#include "platform/path_limits.h"
#include "platform/text_win.h"

bool os_self_path(char* buf, size_t cap) {
    wchar_t wide[WIDE_PATH_CAP];
    const DWORD n = GetModuleFileNameW(nullptr, wide, DWORD(WIDE_PATH_CAP));
    return n > 0 && n < WIDE_PATH_CAP && utf8_from_utf16(wide, buf, cap);
}

// Large pages on Windows need the lock-pages privilege, which an installer neither has nor should ask for.
void* os_alloc_large(size_t size) { return malloc(size > 0 ? size : 1); }

// Windows refuses a longer folder path itself; wine does not, so the limit is kept here for both alike.
bool os_mkdir(const char* path) {
    wchar_t wide[WIDE_PATH_CAP];
    return wide_path(path, wide) && wcslen(wide) <= WINDOWS_DIR_PATH_MAX && CreateDirectoryW(wide, nullptr);
}

char os_separator() { return '\\'; }

bool os_join_payload_path(char* out, size_t cap, const char* dir, const unsigned char* name, size_t name_len) {
    const size_t dir_len = strlen(dir);
    wchar_t wide[WIDE_PATH_CAP];
    if (dir_len >= cap || !utf16_from_cp936(reinterpret_cast<const char*>(name), name_len, wide, WIDE_PATH_CAP))
        return false;
    memcpy(out, dir, dir_len);
    return utf8_from_utf16(wide, out + dir_len, cap - dir_len);
}

void os_trace_path(const char* prefix, const char* path) {
    wchar_t wide[WIDE_PATH_CAP];
    char ansi[2 * WIDE_PATH_CAP];
    if (!utf16_from_utf8(path, wide, WIDE_PATH_CAP) ||
        WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, int(sizeof ansi), nullptr, nullptr) <= 0)
        ansi[0] = '\0';
    printf("%s%s\n", prefix, ansi);
}
