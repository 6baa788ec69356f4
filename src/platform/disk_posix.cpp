// The pre-flight's questions on Linux: stat, statvfs, PATH_MAX and NAME_MAX, the folder's write permission.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/disk.h"

EntryKind os_entry_kind(const char* path, uint64_t* size) {
    *size = 0;
    struct stat st;
    if (stat(path, &st) != 0) return errno == ENOENT || errno == ENOTDIR ? EntryKind::none : EntryKind::other;
    if (S_ISDIR(st.st_mode)) return EntryKind::dir;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return EntryKind::other;
    }
    *size = uint64_t(st.st_size);
    return EntryKind::file;
}

bool os_volume_space(const char* path, uint64_t* available, uint64_t* cluster, char* volume, size_t cap) {
    struct statvfs vfs;
    if (statvfs(path, &vfs) != 0) return false;
    *available = uint64_t(vfs.f_bavail) * vfs.f_frsize;
    *cluster = vfs.f_frsize ? uint64_t(vfs.f_frsize) : 4096;
    snprintf(volume, cap, "%s", path);
    return true;
}

bool os_path_fits(const char* path, bool) {
    if (strlen(path) >= PATH_MAX) return false;
    size_t component = 0;
    for (const char* p = path;; ++p) {
        if (*p == '/' || *p == '\0') {
            if (component > NAME_MAX) return false;
            component = 0;
            if (*p == '\0') return true;
        } else {
            ++component;
        }
    }
}

int os_replace_blocker(const char* path) {
    // A rename replaces the name in its folder: the folder must be writable; the file itself may be anything.
    std::string folder(path);
    const size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    return access(folder.c_str(), W_OK) == 0 ? 0 : errno;
}

bool os_rmdir(const char* path) { return rmdir(path) == 0; }
