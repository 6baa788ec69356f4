// How long a payload name may be: Windows' MAX_PATH rules under the installer's longest default folder.
#pragma once

#include "product/product_files.h"
#include "platform/path_limits.h"

// The installer creates folders and files through the wide Win32 calls without the \\?\ prefix, so MAX_PATH
// applies (platform/path_limits.h): a file's full path takes at most 259 units, a folder's at most 247.

// The longest Program Files folder the installer starts from: a 32-bit installer on 64-bit Windows.
constexpr char LONGEST_PROGRAM_FILES_DIR[] = "C:\\Program Files (x86)";
// "C:\Program Files (x86)\霁桐餐饮\": 28 UTF-16 units.
constexpr int LONGEST_DEFAULT_INSTALL_DIR_UNITS =
    int(sizeof LONGEST_PROGRAM_FILES_DIR - 1) + 1 + PRODUCT_DIR_NAME_UNITS + 1;

// UTF-16 units of a name's path below the install folder (without a leading backslash) that still fit under
// the default folder: 231 for a file, 219 for a folder.
constexpr int INSTALL_FILE_NAME_LIMIT = int(WINDOWS_FILE_PATH_MAX) - LONGEST_DEFAULT_INSTALL_DIR_UNITS;
constexpr int INSTALL_DIR_NAME_LIMIT = int(WINDOWS_DIR_PATH_MAX) - LONGEST_DEFAULT_INSTALL_DIR_UNITS;
static_assert(INSTALL_FILE_NAME_LIMIT == 231 && INSTALL_DIR_NAME_LIMIT == 219, "the limits --help states");
