// Files on Linux: the path's bytes as they are; nothing holds a file against writing, so creating one is fopen "wb".
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/file.h"

FILE* os_open_file(const char* path) { return fopen(path, "rb"); }

FILE* os_open_file_held(const char* path) { return fopen(path, "rb"); }

FILE* os_create_file(const char* path) { return fopen(path, "wb"); }

FILE* os_create_temporary(const char* path) { return os_create_file(path); }

// A rename does not care whether the file is open; it always replaces, so what is at to is looked at first.
MoveResult os_move_open_file(FILE*, const char* from, const char* to, bool replace) {
    struct stat there;
    if (!replace && lstat(to, &there) == 0) return MoveResult::exists;
    return os_replace_file(from, to) ? MoveResult::moved : MoveResult::refused;
}

bool os_flush_file(FILE* file) { return fflush(file) == 0 && fsync(fileno(file)) == 0; }

bool os_replace_file(const char* from, const char* to) { return rename(from, to) == 0; }

bool os_remove_file(const char* path) { return unlink(path) == 0; }
