// Desktop shortcuts through the shell-link COM object.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>

#include "install/shell.h"

int create_shortcut(const char* target, const char* folder, const char* file_name, const char* work_dir,
                    int hot_key, const char* description, int show_cmd) {
    if (!folder) return 0;

    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return 0;
    IPersistFile* file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        link->Release();
        return 0;
    }

    // The setters' results are not looked at: the save below is what counts.
    link->SetPath(target ? target : _pgmptr);
    if (work_dir) link->SetWorkingDirectory(work_dir);
    if (hot_key & 0xFFFF) link->SetHotkey(WORD(hot_key & 0xFFFF));
    if (description) link->SetDescription(description);
    link->SetShowCmd(show_cmd);

    HRESULT saved = E_FAIL;
    char path[MAX_PATH];
    int length = snprintf(path, sizeof path, "%s\\%s", folder, file_name);
    // A path cut short would name another file: such a shortcut is not written at all.
    if (length >= 0 && length < int(sizeof path)) {
        WCHAR wide[MAX_PATH];
        if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) > 0) saved = file->Save(wide, TRUE);
    }

    file->Release();
    link->Release();
    return saved >= 0 ? 1 : 0;
}
