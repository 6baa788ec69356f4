// Platform layer for Linux: /proc/self/exe, transparent huge pages, mkdir 0777, code page 936
// names turned into UTF-8.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/code_page.h"
#include "platform/os.h"

bool os_self_path(char* buf, size_t cap) {
    ssize_t n = readlink("/proc/self/exe", buf, cap);
    if (n <= 0 || size_t(n) >= cap) return false;
    buf[n] = '\0';
    return true;
}

void* os_alloc_large(size_t size) {
    // x86-64's large page. The kernel backs only whole, aligned large pages that were advised: a buffer from
    // malloc keeps an unaligned head and tail of up to 2 MiB each, faulted in 4 KiB at a time (each fault a
    // few microseconds, tens of them in a virtual machine), so a large buffer is aligned and rounded up here.
    constexpr size_t LARGE_PAGE = size_t(2) << 20;
    if (size < LARGE_PAGE) return malloc(size > 0 ? size : 1);
    if (size > SIZE_MAX - LARGE_PAGE) return nullptr;
    const size_t whole = (size + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
    void* p = nullptr;
    if (posix_memalign(&p, LARGE_PAGE, whole) != 0) return nullptr;
    madvise(p, whole, MADV_HUGEPAGE);  // a refused hint leaves ordinary pages
    return p;
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
