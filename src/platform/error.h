// The system's own error of a failed call, kept as a number and put in the system's words for messages.
#pragma once
#include <cstddef>

// The calling thread's error of the file call that just failed: errno on Linux, GetLastError() on Windows
// (the C runtime's file calls end in Win32 calls, which set it). 0 when there is none.
int os_last_error();

// What an error means for the installation's messages.
enum class OsErrorKind {
    other,     // any other error, or none
    held,      // another program has the file open without sharing, or runs it
    denied,    // no permission (or, on Windows, a file being deleted)
    full,      // the disk is full
    too_long,  // the path is longer than the system takes
};
OsErrorKind os_error_kind(int code);

// The error's text as the system gives it (strerror; FormatMessage on Windows, in UTF-8, without the final
// period and line break), NUL-terminated in buf of cap bytes (cut short when longer).
void os_error_text(int code, char* buf, size_t cap);
