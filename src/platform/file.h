// Opening files by UTF-8 path on every platform: the engine's reads of an installer and its writes of a product.
#pragma once
#include <cstdio>

// Opens path for reading, binary. Null when it cannot be opened (errno, and on Windows GetLastError, say why).
FILE* os_open_file(const char* path);

// Creates path, or truncates it, for writing, binary, shared for reading and writing as fopen's "wb" is.
// Null when that fails (errno, and on Windows GetLastError, say why).
FILE* os_create_file(const char* path);
