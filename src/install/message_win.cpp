// Message boxes of the installation, and the application title they carry.
#include <windows.h>

#include <cwchar>

#include "install/message.h"
#include "install/window_seam.h"
#include "platform/text_win.h"

void app_title_from_path(const wchar_t* path, wchar_t* out, size_t cap) {
    const wchar_t* name = path;
    const wchar_t* dot = nullptr;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/') {
            name = p + 1;
            dot = nullptr;
        } else if (*p == L'.') {
            dot = p;
        }
    }
    size_t length = dot ? size_t(dot - name) : wcslen(name);
    if (length > cap - 1) length = cap - 1;
    wmemcpy(out, name, length);
    out[length] = L'\0';
}

namespace {

// The box with the application title as caption; the box's answer.
int box(HWND owner, const wchar_t* text, UINT type) {
    wchar_t path[WIDE_PATH_CAP];
    wchar_t title[WIDE_PATH_CAP];
    const DWORD n = GetModuleFileNameW(nullptr, path, DWORD(WIDE_PATH_CAP));
    if (n == 0 || n >= WIDE_PATH_CAP) path[0] = L'\0';
    app_title_from_path(path, title, WIDE_PATH_CAP);
    return MessageBoxW(owner, text, title, type);
}

}  // namespace

void show_message_box(HWND owner, const wchar_t* text) {
    // The icon the dialog framework gives a box with only an OK button.
    box(owner, text, MB_OK | MB_ICONEXCLAMATION);
}

bool ask_retry_box(HWND owner, const wchar_t* text) {
    return box(owner, text, MB_RETRYCANCEL | MB_ICONEXCLAMATION) == IDRETRY;
}

bool ask_retry(const wchar_t* text) {
    const WindowSeam& seam = window_seam();
    return seam.ask_retry ? seam.ask_retry(seam.context, text) : ask_retry_box(nullptr, text);
}

void show_message(const wchar_t* text) {
    const WindowSeam& seam = window_seam();
    if (seam.message) seam.message(seam.context, text);
    else show_message_box(nullptr, text);
}
