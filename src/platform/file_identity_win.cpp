// File identity on Windows: the volume serial number and file index of an open handle.
#include "platform/file_identity.h"

#include <windows.h>

#include "platform/text_win.h"

bool os_file_identity(const char* path, OsFileIdentity* id) {
    wchar_t wide[WIDE_PATH_CAP];
    if (!wide_path(path, wide)) return false;
    // No access asked for, and backup semantics: a folder opens too, and a file another program holds.
    HANDLE handle = CreateFileW(wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool got = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (got) *id = OsFileIdentity{info.dwVolumeSerialNumber, uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    return got;
}
