// expect: -Wcast-function-type
// GetProcAddress's FARPROC cast straight to the entry point's type, not through void*.
#include <windows.h>

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

SetDefaultDllDirectoriesFn lookup(HMODULE kernel) {
    return (SetDefaultDllDirectoriesFn)GetProcAddress(kernel, "SetDefaultDllDirectories");
}
