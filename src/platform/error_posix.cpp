// System errors on Linux: errno and strerror.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/error.h"

int os_last_error() { return errno; }

OsErrorKind os_error_kind(int code) {
    switch (code) {
    case ETXTBSY: return OsErrorKind::held;
    case EACCES:
    case EPERM:
    case EROFS: return OsErrorKind::denied;
    case ENOSPC:
    case EDQUOT: return OsErrorKind::full;
    case ENAMETOOLONG: return OsErrorKind::too_long;
    default: return OsErrorKind::other;
    }
}

void os_error_text(int code, char* buf, size_t cap) {
    if (cap == 0) return;
    snprintf(buf, cap, "%s", strerror(code));
}
