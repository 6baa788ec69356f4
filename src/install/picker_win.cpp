// The shell's folder picker for the install directory.
#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>

#include "install/product.h"
#include "install/shell.h"

wchar_t* browse_for_folder() {
    BROWSEINFOW info;
    memset(&info, 0, sizeof info);
    info.lpszTitle = PICKER_TITLE;
    // File-system folders only, no browsing below the domain, an edit box, the resizable new-style picker.
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;

    LPITEMIDLIST list = SHBrowseForFolderW(&info);
    if (!list) return nullptr;

    // MAX_PATH units, as SHGetPathFromIDListW fills, and room for the backslash finish_folder_path may append.
    wchar_t path[MAX_PATH + 1];
    path[0] = L'\0';
    BOOL found = SHGetPathFromIDListW(list, path);
    IMalloc* shell_malloc = nullptr;
    if (SUCCEEDED(SHGetMalloc(&shell_malloc))) {
        shell_malloc->Free(list);
        shell_malloc->Release();
    }

    // A choice without a file-system path (a virtual folder) is no install directory.
    if (!found || finish_folder_path(path) == 0) return nullptr;
    return _wcsdup(path);
}
