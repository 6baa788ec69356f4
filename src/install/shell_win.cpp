// Special folders and opening with the shell.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "install/shell.h"

namespace {

// One procedure for both folders: the item list is the shell's to free, whatever the path lookup gave.
int get_special_dir(int csidl, wchar_t* path) {
    LPITEMIDLIST list = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, csidl, &list) != S_OK) return 0;
    BOOL found = SHGetPathFromIDListW(list, path);
    CoTaskMemFree(list);
    return found;
}

}  // namespace

int get_desktop_dir(wchar_t* path) { return get_special_dir(CSIDL_DESKTOP, path); }

int get_program_files_dir(wchar_t* path) { return get_special_dir(CSIDL_PROGRAM_FILES, path); }

void shell_open(const wchar_t* file, const wchar_t* directory, int show) {
    ShellExecuteW(nullptr, L"open", file, L"", directory, show);
}
