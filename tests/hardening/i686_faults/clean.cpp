// expect: nothing
// The right forms of every fault beside it: these compile in the i686 tree.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

INT_PTR CALLBACK dialog_proc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

INT_PTR show(HWND parent) { return DialogBoxParamW(nullptr, MAKEINTRESOURCEW(1), parent, dialog_proc, 0); }

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

SetDefaultDllDirectoriesFn lookup(HMODULE kernel) {
    return reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
}

std::vector<unsigned char> buffer_for(uint32_t file_size) { return std::vector<unsigned char>(file_size); }

void print_count(char* out, size_t cap, size_t count) { snprintf(out, cap, "%zu files", count); }
