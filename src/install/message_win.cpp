// Message boxes of the installation, and the application title they carry.
#include <windows.h>

#include <cstring>

#include "install/message.h"
#include "install/window_seam.h"
#include "platform/os.h"

void app_title_from_path(const char* path, char* out, size_t cap) {
    const char* name = path;
    const char* dot = nullptr;
    for (const char* p = path; *p; p += os_path_char_len(p)) {
        if (*p == '\\' || *p == '/') {
            name = p + 1;
            dot = nullptr;
        } else if (*p == '.') {
            dot = p;
        }
    }
    size_t length = dot ? size_t(dot - name) : strlen(name);
    if (length > cap - 1) length = cap - 1;
    memcpy(out, name, length);
    out[length] = '\0';
}

void show_message_box(HWND owner, const char* text) {
    char path[1024];
    char title[1024];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) path[0] = '\0';
    app_title_from_path(path, title, sizeof title);
    // The icon the dialog framework gives a box with only an OK button.
    MessageBoxA(owner, text, title, MB_OK | MB_ICONEXCLAMATION);
}

void show_message(const char* text) {
    const WindowSeam& seam = window_seam();
    if (seam.message) seam.message(seam.context, text);
    else show_message_box(nullptr, text);
}
