// Shell services: special folders, desktop shortcuts, the folder picker and opening with the shell.
#pragma once
#include <cstddef>

// Paths are UTF-16 strings, handed to the shell's wide functions. The buffers take at least MAX_PATH (260)
// units.

// Desktop (CSIDL_DESKTOP) and Program Files (CSIDL_PROGRAM_FILES) folders into path, with no trailing
// backslash unless a drive root. Non-zero on success; 0 on failure, and then path holds no folder
// (untouched when the folder itself cannot be located).
int get_desktop_dir(wchar_t* path);
int get_program_files_dir(wchar_t* path);

// Writes the shortcut folder\file_name through the shell-link object (IShellLinkW), replacing a file of that
// name. target null: the running executable. work_dir and description are set only when non-null, the hot key
// only when its low 16 bits are non-zero; show_cmd always. 1 when the file was saved; 0 for a null folder (no
// COM call), a path folder\file_name that does not fit MAX_PATH units (nothing written), no shell-link object,
// or a failed save. COM must already be initialised on the calling thread.
int create_shortcut(const wchar_t* target, const wchar_t* folder, const wchar_t* file_name, const wchar_t* work_dir,
                    int hot_key, const wchar_t* description, int show_cmd);

// Shows the shell's folder picker (no owner, no preselection). Returns a _wcsdup'd copy of the chosen folder,
// finished by finish_folder_path, owned by the caller; null when cancelled, when the choice has no
// file-system path, or when the copy cannot be made.
wchar_t* browse_for_folder();

// The picker's path rule, in place: appends one backslash unless the last character is '\' or '/', the path is
// a single character, or the character before the last is ':'. A character is a UTF-16 unit, or a surrogate
// pair, which is never a separator. path must have room for one more unit. Returns the resulting length; 0 for
// an empty path.
size_t finish_folder_path(wchar_t* path);

// Opens file with the shell's "open" verb, no owner window and no parameters, in directory (may be null);
// show is the SW_ window state. Returns at once; failures are not reported.
void shell_open(const wchar_t* file, const wchar_t* directory, int show);
