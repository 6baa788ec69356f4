// What the installation asks of the file system before it writes: what is there, room, path limits, holds.
#pragma once
#include <cstddef>
#include <cstdint>

// Paths are UTF-8 (see platform/os.h). None of these calls changes anything on disk but os_rmdir and
// os_remove_file, which remove what their caller created.

// What is at a path.
enum class EntryKind {
    none,  // nothing is there (nor a folder on its way)
    file,
    dir,
    other,  // the system cannot tell (no access to look, a name it refuses): os_last_error() then says why
};
// The kind of entry at path; *size receives a file's size in bytes (0 for anything else).
EntryKind os_entry_kind(const char* path, uint64_t* size);

// Room on the volume that holds the existing folder at path: the bytes this user may still write
// (*available) and the allocation unit files take whole (*cluster; 4096 when the system does not say),
// and in volume (cap bytes) the volume's name for a message: its root ("C:\") on Windows, path itself on
// Linux. False when the system cannot say (os_last_error() says why).
bool os_volume_space(const char* path, uint64_t* available, uint64_t* cluster, char* volume, size_t cap);

// True when the system takes path as a file's (is_dir false) or a folder's full path: on Windows at most
// WINDOWS_FILE_PATH_MAX or WINDOWS_DIR_PATH_MAX UTF-16 units (platform/path_limits.h) and valid UTF-8; on
// Linux at most PATH_MAX bytes with no component over NAME_MAX.
bool os_path_fits(const char* path, bool is_dir);

// Whether the existing file at path can be replaced now: 0, or the system's error. It is opened with the
// access a replace takes (write and delete; delete and attribute changes for a read-only file) and no
// sharing, and closed at once: a program holding the file, or running it, gives an error os_error_kind
// calls OsErrorKind::held. On Linux nothing holds a file, and the answer is 0 when path is a file.
int os_replace_blocker(const char* path);

// Removes the empty folder at path; false when it cannot.
bool os_rmdir(const char* path);
