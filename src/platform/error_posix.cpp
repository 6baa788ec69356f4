// System errors on Linux: errno and strerror.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/error.h"

int os_last_error() { return errno; }

void os_error_text(int code, char* buf, size_t cap) {
    if (cap == 0) return;
    snprintf(buf, cap, "%s", strerror(code));
}
