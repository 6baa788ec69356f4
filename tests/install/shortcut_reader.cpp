// Shortcut read-back through IShellLinkA and IPersistFile::Load, and the show command from the header.
#include "shortcut_reader.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdio>

ShortcutFields read_shortcut(const std::string& path) {
    ShortcutFields fields;
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    WCHAR wide[MAX_PATH];
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) > 0 &&
        SUCCEEDED(file->Load(wide, STGM_READ))) {
        fields.loaded = true;
        char text[1024];
        text[0] = '\0';
        if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, 0))) fields.target = text;
        text[0] = '\0';
        if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) fields.work_dir = text;
        text[0] = '\0';
        if (SUCCEEDED(link->GetDescription(text, MAX_PATH))) fields.description = text;
        WORD hot_key = 0;
        if (SUCCEEDED(link->GetHotkey(&hot_key))) fields.hot_key = hot_key;
    }
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();

    if (FILE* raw = fopen(path.c_str(), "rb")) {
        unsigned char show[4];
        if (fseek(raw, 0x3C, SEEK_SET) == 0 && fread(show, 1, 4, raw) == 4)
            fields.show_cmd = show[0] | show[1] << 8 | show[2] << 16 | show[3] << 24;
        fclose(raw);
    }
    return fields;
}
