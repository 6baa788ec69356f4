// The platform layer under engine, installation and window: own path, large buffers, directories, path forming.
#pragma once
#include <cstddef>

// Paths given to and returned by this layer are UTF-8 on every platform. On Windows each call converts them
// to UTF-16 and uses the wide functions, so a path is right whatever the system's code page; a string that
// is not valid UTF-8 is refused like a path that does not exist.

// Full UTF-8 path of the running executable into buf; false when it does not fit or cannot be had.
bool os_self_path(char* buf, size_t cap);

// A buffer of size bytes (at least one) for a block's bytes, released with free(); null when memory runs out.
// Where the platform grants large pages without privileges (transparent huge pages on Linux), a buffer of a large
// page or more is aligned to large pages, rounded up to a whole one and backed by them, so that first touching a
// block's tens of MiB costs a few dozen page faults rather than thousands; elsewhere it is plain malloc.
void* os_alloc_large(size_t size);

// Creates one directory (not its parents); the result is the caller's to ignore. On Windows a folder path of
// more than WINDOWS_DIR_PATH_MAX units (platform/path_limits.h) is refused, as Windows itself does.
bool os_mkdir(const char* path);

// The platform's preferred separator, put back where the install directory's prefixes were cut.
char os_separator();

// Forms install directory + payload name in out (cap bytes). The name is code page 936 bytes with
// backslash separators, already checked safe; it is converted from code page 936 explicitly (whatever the
// system's own code page) to UTF-8, with '/' separators on Linux. False when a character of the name has no
// Unicode form or the result does not fit.
bool os_join_payload_path(char* out, size_t cap, const char* dir, const unsigned char* name, size_t name_len);

// Writes one trace line, prefix then path, to standard output: UTF-8 on Linux; on Windows in the system's
// ANSI code page, as the installer always has (the same bytes on a code page 936 system; a character the
// code page lacks shows as '?').
void os_trace_path(const char* prefix, const char* path);
