// Restricts the DLL search before anything else runs, so no DLL planted beside the installer is loaded.
#include "ui/dll_search_win.h"

#include <windows.h>

namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

}  // namespace

bool restrict_dll_search() {
    // kernel32 is always loaded, so looking it up loads nothing.
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto set_default = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                    reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                              : nullptr;
    if (set_default && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
    return SetDllDirectoryW(L"") != 0;
}
