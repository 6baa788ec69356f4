// Names as Windows takes them: what it refuses or changes in a file name, and when two names are one.
#pragma once
#include <string>
#include <vector>

// Why Windows would refuse the name of one directory entry (one path component, in UTF-16 units), or
// install it under another name: a character Windows does not allow in a name (<>:"/\|?*), a control
// character (1-31, and 127, which the installer refuses), a trailing dot or space (Windows drops them), or a
// device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9, LPT1-LPT9, COM and LPT with ¹, ² or ³), alone or
// with an extension, in any letter case, spaces before the extension ignored. Each reason is a phrase that
// follows the entry's path ("has ...", "ends ...", "is ..."); empty when Windows takes the name as it is.
std::vector<std::string> windows_name_problems(const std::u16string& name);

// The name as Windows compares names within a folder: every unit upper-cased by windows_upcase. Two entries
// of one folder with the same key are one file (or folder) on Windows.
std::u16string windows_name_key(const std::u16string& name);
