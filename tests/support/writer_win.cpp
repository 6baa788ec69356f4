// Whether another program could open a file for writing now: CreateFileW as a program that shares everything.
#include <windows.h>

#include <string>

#include "support/test_support.h"

const bool SYSTEM_HOLDS_FILES_AGAINST_WRITERS = true;

bool may_open_for_writing(const std::string& path) {
    const std::wstring wide(path.begin(), path.end());  // the tests' scratch paths are ASCII
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return file != INVALID_HANDLE_VALUE;
}
