// Windows' own limits on a path handed to the wide calls without the long-path prefix ("\\?\").
#pragma once
#include <cstddef>

// UTF-16 units of a file's full path: MAX_PATH (260) with its NUL.
constexpr size_t WINDOWS_FILE_PATH_MAX = 259;

// UTF-16 units of a folder's full path: CreateDirectory keeps room for an 8.3 name below it (MAX_PATH - 12,
// with its NUL).
constexpr size_t WINDOWS_DIR_PATH_MAX = 247;
