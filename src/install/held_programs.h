// Which programs hold files the installation must replace, as the system's Restart Manager knows them.
#pragma once
#include <cstddef>

// The names of the programs (Restart Manager's application names, e.g. the cashier program's) that hold any
// of the count files at paths (UTF-8), joined by "、" into out (cap units, NUL-terminated). False, with out
// empty, when the system cannot say: no Restart Manager (it is loaded from the system directory only, by
// name: Windows before Vista has none, wine's answers nothing), or it names no program. Closes nothing.
// Any thread; it may take a second.
bool programs_holding(const char* const* paths, int count, wchar_t* out, size_t cap);
