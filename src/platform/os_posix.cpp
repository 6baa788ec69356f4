// Platform layer for Linux: /proc/self/exe, transparent huge pages, mkdir 0777, code page 936
// names turned into UTF-8.
#include <iconv.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

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

    iconv_t cd = iconv_open("UTF-8", "CP936");
    if (cd == (iconv_t)-1) return false;
    char* in = const_cast<char*>(reinterpret_cast<const char*>(name));
    size_t in_left = name_len;
    char* dst = out + dir_len;
    size_t out_left = cap - dir_len - 1;
    size_t rc = iconv(cd, &in, &in_left, &dst, &out_left);
    iconv_close(cd);
    if (rc == size_t(-1) || in_left != 0) return false;
    *dst = '\0';
    // In UTF-8 a backslash byte is always the character itself.
    for (char* p = out + dir_len; p < dst; ++p)
        if (*p == '\\') *p = '/';
    return true;
}

void os_trace_path(const char* prefix, const char* path) { printf("%s%s\n", prefix, path); }
