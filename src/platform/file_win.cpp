// Files on Windows: UTF-8 paths turned into UTF-16 for the wide calls; CreateFileW with fopen's sharing, tried
// again while another program briefly holds the file.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

HANDLE open_for_writing(const wchar_t* path, DWORD access) {
    // fopen "wb": others may read and write meanwhile, the file is created or truncated.
    return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

bool held_by_another_program(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

// Calls attempt() until it succeeds, fails for an error that held() does not take for a hold, or the budget
// is spent.
template <class Attempt>
bool waiting_out_holds(Attempt attempt, bool (*held)(DWORD) = held_by_another_program) {
    bool done = attempt();
    DWORD waited = 0;
    for (DWORD delay = FIRST_RETRY_DELAY_MS; !done && held(GetLastError()) && waited < RETRY_BUDGET_MS;
         delay = std::min(delay * 2, LONGEST_RETRY_DELAY_MS)) {
        Sleep(delay);
        waited += delay;
        done = attempt();
    }
    return done;
}

HANDLE open_waiting_out_holds(const wchar_t* path, DWORD access) {
    HANDLE file = INVALID_HANDLE_VALUE;
    waiting_out_holds([&] {
        file = open_for_writing(path, access);
        return file != INVALID_HANDLE_VALUE;
    });
    return file;
}

// A replace over a file another program has open fails with ERROR_ACCESS_DENIED as well as with a sharing
// violation (wine gives the former), so a denied replace is waited out like a hold; a lasting denial still
// fails after the same two seconds.
bool replace_held(DWORD error) { return held_by_another_program(error) || error == ERROR_ACCESS_DENIED; }

// MoveFileExW refuses to replace a read-only file; the product's own read-only file is replaced like any other.
bool clear_read_only(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return false;
    return SetFileAttributesW(path, attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) != 0;
}

// A C stream over an open handle, in binary: from here the descriptor owns the handle, and then the stream owns
// the descriptor. Null, with errno EMFILE, when the C runtime has no descriptor or stream left; the handle is
// closed then (through the descriptor, when one took it); a file being created stays created.
FILE* stream_of(HANDLE handle, int access, const char* mode) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), access | _O_BINARY);
    if (fd == -1) {
        CloseHandle(handle);
        errno = EMFILE;
        return nullptr;
    }
    FILE* stream = _fdopen(fd, mode);
    if (!stream) {
        _close(fd);
        errno = EMFILE;
    }
    return stream;
}

// os_create_file with the given access to the file.
FILE* create_stream(const char* path, DWORD access) {
    wchar_t wide[WIDE_PATH_CAP];
    if (!wide_path(path, wide)) return nullptr;
    // Windows refuses a longer path itself; wine does not, so the limit is kept here for both alike.
    if (wcslen(wide) > WINDOWS_FILE_PATH_MAX) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    HANDLE handle = open_waiting_out_holds(wide, access);
    return handle == INVALID_HANDLE_VALUE ? nullptr : stream_of(handle, _O_WRONLY, "wb");
}

}  // namespace

FILE* os_open_file(const char* path) {
    wchar_t wide[WIDE_PATH_CAP];
    return wide_path(path, wide) ? _wfopen(wide, L"rb") : nullptr;
}

FILE* os_open_file_held(const char* path) {
    wchar_t wide[WIDE_PATH_CAP];
    if (!wide_path(path, wide)) return nullptr;
    HANDLE handle =
        CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? nullptr : stream_of(handle, _O_RDONLY, "rb");
}

FILE* os_create_file(const char* path) { return create_stream(path, GENERIC_WRITE); }

// Delete access lets the handle itself rename the file.
FILE* os_create_temporary(const char* path) { return create_stream(path, GENERIC_WRITE | DELETE); }

MoveResult os_move_open_file(FILE* file, const char*, const char* to, bool replace) {
    wchar_t wide_to[WIDE_PATH_CAP];
    const intptr_t handle = _get_osfhandle(_fileno(file));
    if (!wide_path(to, wide_to) || handle == -1) return MoveResult::refused;
    // The rename's description ends in the new name: room for the longest path a wide path holds.
    const size_t length = wcslen(wide_to);
    alignas(FILE_RENAME_INFO) unsigned char buffer[sizeof(FILE_RENAME_INFO) + WIDE_PATH_CAP * sizeof(wchar_t)];
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer);
    memset(info, 0, sizeof *info);  // no root directory: to is a whole path
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->FileNameLength = DWORD(length * sizeof(wchar_t));
    wmemcpy(info->FileName, wide_to, length + 1);
    if (SetFileInformationByHandle(reinterpret_cast<HANDLE>(handle), FileRenameInfo, info,
                                   DWORD(sizeof(FILE_RENAME_INFO) + length * sizeof(wchar_t))))
        return MoveResult::moved;
    return !replace && GetLastError() == ERROR_ALREADY_EXISTS ? MoveResult::exists : MoveResult::refused;
}

bool os_flush_file(FILE* file) {
    if (fflush(file) != 0) return false;
    const intptr_t handle = _get_osfhandle(_fileno(file));
    return handle != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(handle));
}

bool os_replace_file(const char* from, const char* to) {
    wchar_t wide_from[WIDE_PATH_CAP], wide_to[WIDE_PATH_CAP];
    if (!wide_path(from, wide_from) || !wide_path(to, wide_to)) return false;
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    const auto move = [&] { return MoveFileExW(wide_from, wide_to, flags) != 0; };
    if (move()) return true;
    if (GetLastError() == ERROR_ACCESS_DENIED && clear_read_only(wide_to) && move()) return true;
    return waiting_out_holds(move, replace_held);
}

bool os_remove_file(const char* path) {
    wchar_t wide[WIDE_PATH_CAP];
    return wide_path(path, wide) && DeleteFileW(wide);
}
