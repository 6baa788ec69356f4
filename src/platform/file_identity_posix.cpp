// File identity on Linux: stat's device and inode.
#include "platform/file_identity.h"

#include <sys/stat.h>

bool os_file_identity(const char* path, OsFileIdentity* id) {
    struct stat st;
    if (stat(path, &st) != 0) return false;
    *id = OsFileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
    return true;
}
