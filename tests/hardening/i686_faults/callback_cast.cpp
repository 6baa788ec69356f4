// expect: -Wcast-calling-convention
// A dialog procedure declared without CALLBACK, cast to DLGPROC: on i686 the caller and the callee disagree on
// who pops the arguments.
#include <windows.h>

INT_PTR dialog_proc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

INT_PTR show(HWND parent) { return DialogBoxParamW(nullptr, MAKEINTRESOURCEW(1), parent, (DLGPROC)dialog_proc, 0); }
