// Special folders and opening with the shell.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "install/shell.h"

namespace {

// One procedure for both folders: the item list is the shell's to free, whatever the path lookup gave.
int get_special_dir(int csidl, char* path) {
    LPITEMIDLIST list = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, csidl, &list) != S_OK) return 0;
    BOOL found = SHGetPathFromIDListA(list, path);
    CoTaskMemFree(list);
    return found;
}

}  // namespace

int get_desktop_dir(char* path) { return get_special_dir(CSIDL_DESKTOP, path); }

int get_program_files_dir(char* path) { return get_special_dir(CSIDL_PROGRAM_FILES, path); }

void shell_open(const char* file, const char* directory, int show) {
    ShellExecuteA(nullptr, "open", file, "", directory, show);
}
