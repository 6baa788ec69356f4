// Desktop shortcuts through the shell-link COM object.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cwchar>

#include "install/shell.h"
#include "platform/text_win.h"

namespace {

// folder\file_name into path; false when it does not fit MAX_PATH units with its terminator.
bool join_link_path(wchar_t (&path)[MAX_PATH], const wchar_t* folder, const wchar_t* file_name) {
    const size_t folder_len = wcslen(folder);
    const size_t name_len = wcslen(file_name);
    if (folder_len + 1 + name_len >= MAX_PATH) return false;
    wmemcpy(path, folder, folder_len);
    path[folder_len] = L'\\';
    wmemcpy(path + folder_len + 1, file_name, name_len + 1);
    return true;
}

}  // namespace

int create_shortcut(const wchar_t* target, const wchar_t* folder, const wchar_t* file_name, const wchar_t* work_dir,
                    int hot_key, const wchar_t* description, int show_cmd) {
    if (!folder) return 0;

    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return 0;
    IPersistFile* file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        link->Release();
        return 0;
    }

    wchar_t self[WIDE_PATH_CAP];
    if (!target) {
        const DWORD n = GetModuleFileNameW(nullptr, self, DWORD(WIDE_PATH_CAP));
        if (n == 0 || n >= WIDE_PATH_CAP) self[0] = L'\0';
    }
    // The setters' results are not looked at: the save below is what counts.
    link->SetPath(target ? target : self);
    if (work_dir) link->SetWorkingDirectory(work_dir);
    if (hot_key & 0xFFFF) link->SetHotkey(WORD(hot_key & 0xFFFF));
    if (description) link->SetDescription(description);
    link->SetShowCmd(show_cmd);

    HRESULT saved = E_FAIL;
    wchar_t path[MAX_PATH];
    // A path cut short would name another file: such a shortcut is not written at all.
    if (join_link_path(path, folder, file_name)) saved = file->Save(path, TRUE);

    file->Release();
    link->Release();
    return saved >= 0 ? 1 : 0;
}
