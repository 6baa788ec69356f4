// System errors on Linux: errno and strerror.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/error.h"

int os_last_error() { return errno; }

int os_error_kind(int code) {
    switch (code) {
    case ETXTBSY: return OS_ERROR_HELD;
    case EACCES:
    case EPERM:
    case EROFS: return OS_ERROR_DENIED;
    case ENOSPC:
    case EDQUOT: return OS_ERROR_FULL;
    case ENAMETOOLONG: return OS_ERROR_TOO_LONG;
    default: return OS_ERROR_OTHER;
    }
}

void os_error_text(int code, char* buf, size_t cap) {
    if (cap == 0) return;
    snprintf(buf, cap, "%s", strerror(code));
}
