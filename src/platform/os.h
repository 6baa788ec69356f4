// The platform layer under engine, installation and window: own path, large buffers, directories, path forming.
#pragma once
#include <cstddef>

// Full path of the running executable into buf; false when it does not fit or cannot be had.
bool os_self_path(char* buf, size_t cap);

// Asks that a large buffer about to be filled be backed by large pages where the platform grants them
// without privileges (transparent huge pages on Linux), so that first touching a block's hundreds of MiB
// costs a few hundred page faults rather than tens of thousands. Only the whole large pages inside
// [p, p + size) are affected; nothing happens on Windows or when the hint is refused.
void os_prefer_large_pages(void* p, size_t size);

// Creates one directory (not its parents); the result is the caller's to ignore.
bool os_mkdir(const char* path);

// Bytes of the character that starts at p in the platform's path encoding (1 or 2): the ANSI code page
// on Windows, where a trail byte may be 0x5C; UTF-8 on Linux, where every separator byte stands alone.
size_t os_path_char_len(const char* p);

// The platform's preferred separator, put back where the install directory's prefixes were cut.
char os_separator();

// Forms install directory + payload name in out (cap bytes). The name is code page 936 bytes with
// backslash separators, already checked safe; on Linux it becomes UTF-8 with '/' separators.
// False when the name cannot be converted or the result does not fit.
bool os_join_payload_path(char* out, size_t cap, const char* dir, const unsigned char* name, size_t name_len);
