// Files on Windows: UTF-8 paths turned into UTF-16 for the wide calls; CreateFileW with fopen's sharing, tried
// again while another program briefly holds the file.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cwchar>

#include "platform/file.h"
#include "platform/path_limits.h"
#include "platform/text_win.h"

namespace {

// Virus scanners and indexers open a file that was just written, or is about to be replaced, without sharing
// for a few hundred milliseconds. Waiting that out, doubling the pause each time, spares the user a failed
// installation; a file held for longer (the product's own program still running) fails after about 2 s, which
// the user can afford to wait for before seeing why.
constexpr DWORD FIRST_RETRY_DELAY_MS = 25;
constexpr DWORD LONGEST_RETRY_DELAY_MS = 400;
constexpr DWORD RETRY_BUDGET_MS = 2000;

HANDLE open_for_writing(const wchar_t* path) {
    // fopen "wb": others may read and write meanwhile, the file is created or truncated.
    return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool held_by_another_program(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

HANDLE open_waiting_out_holds(const wchar_t* path) {
    HANDLE file = open_for_writing(path);
    DWORD waited = 0;
    for (DWORD delay = FIRST_RETRY_DELAY_MS;
         file == INVALID_HANDLE_VALUE && held_by_another_program(GetLastError()) && waited < RETRY_BUDGET_MS;
         delay = std::min(delay * 2, LONGEST_RETRY_DELAY_MS)) {
        Sleep(delay);
        waited += delay;
        file = open_for_writing(path);
    }
    return file;
}

}  // namespace

FILE* os_open_file(const char* path) {
    wchar_t wide[WIDE_PATH_CAP];
    return wide_path(path, wide) ? _wfopen(wide, L"rb") : nullptr;
}

FILE* os_create_file(const char* path) {
    wchar_t wide[WIDE_PATH_CAP];
    if (!wide_path(path, wide)) return nullptr;
    // Windows refuses a longer path itself; wine does not, so the limit is kept here for both alike.
    if (wcslen(wide) > WINDOWS_FILE_PATH_MAX) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    HANDLE handle = open_waiting_out_holds(wide);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    // From here the descriptor owns the handle, and then the stream owns the descriptor.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd == -1) {
        CloseHandle(handle);
        errno = EMFILE;
        return nullptr;
    }
    FILE* stream = _fdopen(fd, "wb");
    if (!stream) {
        _close(fd);
        errno = EMFILE;
    }
    return stream;
}
