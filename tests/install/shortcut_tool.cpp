// Writes the installer's shortcuts into a folder, for reading them back with an independent parser.
//
//   shortcut_tool FOLDER
//
// Creates FOLDER\霁桐收银端.exe (empty) and, through create_shortcut:
//   FOLDER\霁桐收银端.lnk  as the worker makes it: working directory FOLDER\, no hot key, "北京霁桐科技", normal
//   FOLDER\hotkey.lnk      hot key 0x12340641 (Ctrl+A once the high bits are dropped), maximised, no
//                          working directory, no description
// Exit code 0 when both were saved.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "install/product.h"
#include "install/shell.h"
#include "platform/text_win.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: shortcut_tool FOLDER\n");
        return 2;
    }
    const std::wstring folder = argv[1];
    wchar_t cashier[MAX_PATH];
    if (!utf16_from_cp936(CASHIER_PROGRAM, strlen(CASHIER_PROGRAM), cashier, MAX_PATH)) return 1;
    const std::wstring target = folder + L"\\" + cashier;
    FILE* file = _wfopen(target.c_str(), L"wb");
    if (!file) return 1;
    fclose(file);

    CoInitialize(nullptr);
    int worker_style = create_shortcut(target.c_str(), folder.c_str(), CASHIER_SHORTCUT, (folder + L"\\").c_str(), 0,
                                       SHORTCUT_DESCRIPTION, SW_SHOWNORMAL);
    int with_hotkey =
        create_shortcut(target.c_str(), folder.c_str(), L"hotkey.lnk", nullptr, 0x12340641, nullptr, SW_SHOWMAXIMIZED);
    CoUninitialize();
    return worker_style && with_hotkey ? 0 : 1;
}
