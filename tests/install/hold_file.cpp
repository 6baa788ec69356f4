// Holds a file the way a virus scanner or a running program does: open, shared with nobody, until ended.
//
//   hold_file PATH   opens PATH (which must exist) with share mode 0, prints "holding" on stdout and holds it
//                    until the process is ended, which closes the handle and so releases the file
//
// Exit code 2 for bad usage, 3 when the file cannot be opened (the reason on stderr).
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: hold_file PATH\n");
        return 2;
    }
    HANDLE file =
        CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "hold_file: cannot open %s: error %lu\n", argv[1], GetLastError());
        return 3;
    }
    printf("holding\n");
    fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
