// A DLL as someone might plant it next to a downloaded installer: loading it is all it takes to run code.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" __declspec(dllexport) int jt_planted_marker() { return 42; }
