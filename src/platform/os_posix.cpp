// Platform layer for Linux: /proc/self/exe, transparent huge pages, mkdir 0777, code page 936
// names turned into UTF-8.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/code_page.h"
#include "platform/os.h"

bool os_self_path(char* buf, size_t cap) {
    ssize_t n = readlink("/proc/self/exe", buf, cap);
    if (n <= 0 || size_t(n) >= cap) return false;
    buf[n] = '\0';
    return true;
}

void os_prefer_large_pages(void* p, size_t size) {
    // x86-64's large page; madvise wants whole pages, so only the aligned inside of the buffer is advised.
    constexpr uintptr_t LARGE_PAGE = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + size) & ~(LARGE_PAGE - 1);
    if (begin < end) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

bool os_mkdir(const char* path) { return mkdir(path, 0777) == 0; }

char os_separator() { return '/'; }

bool os_join_payload_path(char* out, size_t cap, const char* dir, const unsigned char* name, size_t name_len) {
    size_t dir_len = strlen(dir);
    if (dir_len >= cap) return false;
    memcpy(out, dir, dir_len);

    size_t len = 0;
    if (!os_utf8_from_cp936(reinterpret_cast<const char*>(name), name_len, out + dir_len, cap - dir_len, &len))
        return false;
    // In UTF-8 a backslash byte is always the character itself.
    for (char* p = out + dir_len; p < out + dir_len + len; ++p)
        if (*p == '\\') *p = '/';
    return true;
}

void os_trace_path(const char* prefix, const char* path) { printf("%s%s\n", prefix, path); }
