// DLL search restricted to the system directory, for a program that runs elevated from a downloads folder.
#pragma once

// Makes every later DLL load that names no path (the system's own delayed loads included) search the
// system directory only: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) where the system has it,
// looked up at run time since older systems lack it; otherwise SetDllDirectoryW(L""), which at least
// takes the current directory out of the search. False when neither could be applied.
bool restrict_dll_search();
