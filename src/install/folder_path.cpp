// The picker's trailing-backslash rule over whole code page characters.
#include <cstring>

#include "install/shell.h"
#include "payload/names.h"
#include "platform/os.h"

size_t finish_folder_path(char* path) {
    size_t length = strlen(path);
    if (length == 0) return 0;
    if (ends_with_separator(path, os_path_char_len)) return length;

    // A trail byte may be ':' or '\': only the start of each character tells what it is.
    const char* last = nullptr;
    const char* before_last = nullptr;
    for (const char* p = path; *p; p += os_path_char_len(p)) {
        before_last = last;
        last = p;
    }
    // One character alone, or "X:" + one character, is left as the user typed it.
    if (!before_last || *before_last == ':') return length;

    path[length] = '\\';
    path[length + 1] = '\0';
    return length + 1;
}
