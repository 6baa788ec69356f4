// Loads jt_planted.dll, which lies beside this program, by name, as a system DLL's delayed load would.
//
//   dll_search_probe open         the default search
//   dll_search_probe restricted   restrict_dll_search first, as the installer does at start
//
// Prints "loaded" or "not loaded"; exit code 0, or 2 for bad usage, 3 when the search cannot be restricted.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "ui/dll_search_win.h"

int main(int argc, char** argv) {
    if (argc != 2 || (strcmp(argv[1], "open") != 0 && strcmp(argv[1], "restricted") != 0)) {
        fprintf(stderr, "usage: dll_search_probe open|restricted\n");
        return 2;
    }
    if (strcmp(argv[1], "restricted") == 0 && !restrict_dll_search()) return 3;
    HMODULE planted = LoadLibraryA("jt_planted.dll");
    printf("%s\n", planted ? "loaded" : "not loaded");
    return 0;
}
