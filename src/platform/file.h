// Files the engine reads and writes, by UTF-8 path: installers opened, product files created, waiting out
// another program's brief hold on Windows.
#pragma once
#include <cstdio>

// Paths are UTF-8 on every platform (see platform/os.h); on Windows they are converted to UTF-16 for the wide
// calls, and a path that is not valid UTF-8 fails as ERROR_INVALID_NAME. A path created on Windows may take
// at most WINDOWS_FILE_PATH_MAX units (platform/path_limits.h), as Windows itself allows; a longer one fails
// as ERROR_FILENAME_EXCED_RANGE.

// Opens the file at path for reading in binary, as fopen(path, "rb") does. Null on failure (errno, and on
// Windows GetLastError(), tell why). The stream is the caller's to fclose.
FILE* os_open_file(const char* path);

// As os_open_file, and while the stream is open no other program may write, rename or delete the file, only read
// it (Windows: CreateFileW shared for reading only; a program that already has it open for writing makes the call
// fail with ERROR_SHARING_VIOLATION). On Linux, where files are not locked so, it is os_open_file.
FILE* os_open_file_held(const char* path);

// Creates the file at path, or truncates it when it exists, and opens it for writing in binary, as
// fopen(path, "wb") does; other programs may still read and write it while it is open. The stream is the
// caller's to fclose.
//
// On Windows a file that another program holds without sharing (a virus scanner or an indexer looking at a
// file just written or about to be replaced: ERROR_SHARING_VIOLATION or ERROR_LOCK_VIOLATION) is tried again
// for about two seconds before the call gives up; every other error gives up at once.
//
// Null on failure. On Windows GetLastError() then tells why the file could not be opened (after the retries,
// still ERROR_SHARING_VIOLATION or ERROR_LOCK_VIOLATION for a file held longer); when the C runtime has no
// stream left for the opened file, errno is EMFILE and the file stays created, empty. On Linux errno tells why.
FILE* os_create_file(const char* path);

// As os_create_file, for a temporary that os_move_open_file moves over its file's name while it is still open
// (Windows: opened for deleting too, so the move needs no second open of the file).
FILE* os_create_temporary(const char* path);

// What os_move_open_file did: moved the file; found a file at to and, asked not to replace one, moved nothing; or
// was refused, moving nothing (os_last_error() says why).
enum class MoveResult { moved, exists, refused };

// Moves the temporary open as file (made by os_create_temporary at from) over the name to in one step, without
// closing it; replace says whether a file already at to is replaced (as os_replace_file replaces it) or left alone
// (MoveResult::exists). The caller has written the stream's buffer out (fflush) and closes the stream afterwards
// either way. MoveResult::refused when the system does not move it so at once (on Windows a read-only file or one
// another program holds at to, or a system that refuses the move through the handle): the caller then closes the
// stream and calls os_replace_file, which clears the attribute and waits out the hold.
MoveResult os_move_open_file(FILE* file, const char* from, const char* to, bool replace);

// Writes the stream's buffer out and asks the system to put the file's bytes on the disk (fsync;
// FlushFileBuffers on Windows), so that a file renamed into place after it survives a power cut whole.
// False when either fails (os_last_error() says why). The stream stays the caller's.
bool os_flush_file(FILE* file);

// Moves the file at from over the name to in one step, replacing what is there: a reader sees the old file
// or the new one, never a mix. Both lie in one folder. On Windows MoveFileExW with MOVEFILE_REPLACE_EXISTING
// and MOVEFILE_WRITE_THROUGH; a read-only file at to loses its read-only attribute first (the product's files
// are replaced whatever their attribute), and a file another program holds for a moment is waited for, as
// os_create_file does. False when it fails (os_last_error() says why): from and to are then as they were,
// but for to's read-only attribute.
bool os_replace_file(const char* from, const char* to);

// Removes the file at path; false when it cannot (os_last_error() says why; nothing there is a failure too).
bool os_remove_file(const char* path);
