// How long a payload name may be: Windows' MAX_PATH rules under the installer's longest default folder.
#pragma once

#include "payload/product_files.h"

// The installer creates folders and files through the wide Win32 calls without the \\?\ prefix, so MAX_PATH
// (260 UTF-16 units with the terminating NUL) applies: a file's full path takes at most 259 units, and a
// folder's at most 247, since CreateDirectory keeps room for an 8.3 file name inside it (MAX_PATH - 12,
// NUL included).
constexpr int WINDOWS_FILE_PATH_LIMIT = 259;
constexpr int WINDOWS_DIR_PATH_LIMIT = 247;

// The longest Program Files folder the installer starts from: a 32-bit installer on 64-bit Windows.
constexpr char LONGEST_PROGRAM_FILES_DIR[] = "C:\\Program Files (x86)";
// "C:\Program Files (x86)\霁桐餐饮\": 28 UTF-16 units.
constexpr int LONGEST_DEFAULT_INSTALL_DIR_UNITS = int(sizeof LONGEST_PROGRAM_FILES_DIR - 1) + 1 + PRODUCT_DIR_NAME_UNITS + 1;

// UTF-16 units of a name's path below the install folder (without a leading backslash) that still fit under
// the default folder: 231 for a file, 219 for a folder.
constexpr int INSTALL_FILE_NAME_LIMIT = WINDOWS_FILE_PATH_LIMIT - LONGEST_DEFAULT_INSTALL_DIR_UNITS;
constexpr int INSTALL_DIR_NAME_LIMIT = WINDOWS_DIR_PATH_LIMIT - LONGEST_DEFAULT_INSTALL_DIR_UNITS;
static_assert(INSTALL_FILE_NAME_LIMIT == 231 && INSTALL_DIR_NAME_LIMIT == 219, "the limits --help states");
