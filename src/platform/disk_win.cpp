// The pre-flight's questions on Windows: file attributes, free space and cluster size, MAX_PATH, share modes.
#include <windows.h>

#include <cwchar>

#include "platform/disk.h"
#include "platform/path_limits.h"
#include "platform/text_win.h"

namespace {

// The cluster size when the volume does not say (NTFS's default for volumes up to 16 TB).
constexpr uint64_t DEFAULT_CLUSTER = 4096;

}  // namespace

EntryKind os_entry_kind(const char* path, uint64_t* size) {
    *size = 0;
    wchar_t wide[WIDE_PATH_CAP];
    if (!wide_path(path, wide)) return EntryKind::other;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide, GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryKind::none : EntryKind::other;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::dir;
    *size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return EntryKind::file;
}

bool os_volume_space(const char* path, uint64_t* available, uint64_t* cluster, char* volume, size_t cap) {
    wchar_t wide[WIDE_PATH_CAP];
    ULARGE_INTEGER free_to_caller;
    if (!wide_path(path, wide) || !GetDiskFreeSpaceExW(wide, &free_to_caller, nullptr, nullptr)) return false;
    *available = free_to_caller.QuadPart;
    wchar_t root[WIDE_PATH_CAP];
    DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
    if (!GetVolumePathNameW(wide, root, DWORD(WIDE_PATH_CAP))) wcscpy(root, wide);
    *cluster = GetDiskFreeSpaceW(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters, &clusters) &&
                       sectors_per_cluster && bytes_per_sector
                   ? uint64_t(sectors_per_cluster) * bytes_per_sector
                   : DEFAULT_CLUSTER;
    if (!utf8_from_utf16(root, volume, cap)) volume[0] = '\0';
    return true;
}

bool os_path_fits(const char* path, bool is_dir) {
    wchar_t wide[WIDE_PATH_CAP];
    return wide_path(path, wide) && wcslen(wide) <= (is_dir ? WINDOWS_DIR_PATH_MAX : WINDOWS_FILE_PATH_MAX);
}

int os_replace_blocker(const char* path) {
    wchar_t wide[WIDE_PATH_CAP];
    if (!wide_path(path, wide)) return int(GetLastError());
    const DWORD attributes = GetFileAttributesW(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : int(error);
    }
    // Write access is what a running program's image refuses; a read-only file is replaced after its attribute
    // is cleared, which takes attribute access rather than write access.
    const DWORD access = attributes & FILE_ATTRIBUTE_READONLY ? DELETE | FILE_WRITE_ATTRIBUTES : GENERIC_WRITE | DELETE;
    HANDLE file = CreateFileW(wide, access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return int(GetLastError());
    CloseHandle(file);
    return 0;
}

bool os_rmdir(const char* path) {
    wchar_t wide[WIDE_PATH_CAP];
    return wide_path(path, wide) && RemoveDirectoryW(wide);
}
