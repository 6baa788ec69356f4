// What identifies a file whatever path leads to it, so that two names of one file (a hard or symbolic link) are told.
#pragma once
#include <cstdint>

// Device and inode on Linux; volume serial number and file index on Windows.
struct OsFileIdentity {
    uint64_t volume = 0, index = 0;
    bool operator==(const OsFileIdentity& o) const { return volume == o.volume && index == o.index; }
};

// The identity of the file or folder at the UTF-8 path (symbolic links followed). False when the system gives
// none (nothing there, no access to look).
bool os_file_identity(const char* path, OsFileIdentity* id);
