// Shortcut read-back through IShellLinkW and IPersistFile::Load, and the show command from the header.
#include "shortcut_reader.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdio>

#include "support/text936_win.h"

ShortcutFields read_shortcut(const std::string& path) {
    ShortcutFields fields;
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(wide936(path).c_str(), STGM_READ))) {
        fields.loaded = true;
        wchar_t text[1024];
        text[0] = L'\0';
        if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, 0))) {
            fields.target = narrow936(text);
            fields.target_wide = text;
        }
        text[0] = L'\0';
        if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) fields.work_dir = narrow936(text);
        text[0] = L'\0';
        if (SUCCEEDED(link->GetDescription(text, MAX_PATH))) fields.description = narrow936(text);
        WORD hot_key = 0;
        if (SUCCEEDED(link->GetHotkey(&hot_key))) fields.hot_key = hot_key;
    }
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();

    if (FILE* raw = _wfopen(wide936(path).c_str(), L"rb")) {
        unsigned char show[4];
        if (fseek(raw, 0x3C, SEEK_SET) == 0 && fread(show, 1, 4, raw) == 4)
            fields.show_cmd = show[0] | show[1] << 8 | show[2] << 16 | show[3] << 24;
        fclose(raw);
    }
    return fields;
}
