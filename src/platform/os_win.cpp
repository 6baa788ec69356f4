// Platform layer for Windows: GetModuleFileNameA, no large pages, _mkdir, ANSI names used as they are.
#include <direct.h>
#include <windows.h>

#include <cstring>

#include "platform/os.h"

bool os_self_path(char* buf, size_t cap) {
    DWORD n = GetModuleFileNameA(nullptr, buf, DWORD(cap));
    return n > 0 && n < cap;
}

// Large pages on Windows need the lock-pages privilege, which an installer neither has nor should ask for.
void os_prefer_large_pages(void*, size_t) {}

bool os_mkdir(const char* path) { return _mkdir(path) == 0; }

size_t os_path_char_len(const char* p) {
    return IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0' ? 2 : 1;
}

char os_separator() { return '\\'; }

bool os_join_payload_path(char* out, size_t cap, const char* dir, const unsigned char* name, size_t name_len) {
    size_t dir_len = strlen(dir);
    if (dir_len + name_len >= cap) return false;
    memcpy(out, dir, dir_len);
    memcpy(out + dir_len, name, name_len);
    out[dir_len + name_len] = '\0';
    return true;
}
