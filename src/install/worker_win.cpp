// The install worker thread and its start.
#include "install/worker.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "install/install_state.h"
#include "install/message.h"
#include "install/product.h"
#include "install/shell.h"
#include "install/window_seam.h"
#include "payload/extract.h"
#include "payload/payload.h"
#include "platform/text_win.h"

namespace {

// The shell's paths hold MAX_PATH units; a longer program path could not be linked or opened anyway.
constexpr size_t PROGRAM_PATH_CAP = MAX_PATH;

// install_dir + a program's name as the payload stores it (code page 936) into a program path; false when it
// does not fit.
bool format_program_path(wchar_t (&path)[PROGRAM_PATH_CAP], const wchar_t* install_dir, const char* name) {
    const size_t dir_len = wcslen(install_dir);
    if (dir_len >= PROGRAM_PATH_CAP) return false;
    wmemcpy(path, install_dir, dir_len);
    return utf16_from_cp936(name, strlen(name), path + dir_len, PROGRAM_PATH_CAP - dir_len);
}

// Without a desktop folder there is nowhere to put a shortcut: both are skipped, the launches still go ahead.
void link_on_desktop(const wchar_t* desktop, const wchar_t* program, const wchar_t* shortcut,
                     const wchar_t* install_dir) {
    if (desktop) create_shortcut(program, desktop, shortcut, install_dir, 0, SHORTCUT_DESCRIPTION, SW_SHOWNORMAL);
}

// Ending C: shortcuts and launches. Their failures change nothing: the installation has succeeded.
void finish_installation(const wchar_t* install_dir, int flags) {
    wchar_t desktop_buffer[MAX_PATH];
    const wchar_t* desktop = get_desktop_dir(desktop_buffer) ? desktop_buffer : nullptr;

    CoInitialize(nullptr);
    wchar_t program[PROGRAM_PATH_CAP];
    bool service_ok = format_program_path(program, install_dir, SERVICE_PROGRAM);
    if (service_ok && (flags & PAYLOAD_FLAG_SERVICE_SHORTCUT))
        link_on_desktop(desktop, program, SERVICE_SHORTCUT, install_dir);
    if (service_ok && (flags & PAYLOAD_FLAG_SERVICE_LAUNCH)) shell_open(program, install_dir, SW_SHOWNORMAL);

    bool cashier_ok = format_program_path(program, install_dir, CASHIER_PROGRAM);
    if (cashier_ok) link_on_desktop(desktop, program, CASHIER_SHORTCUT, install_dir);
    CoUninitialize();

    g_installing = false;
    if (cashier_ok) shell_open(program, install_dir, SW_SHOWMAXIMIZED);
}

// The engine's form of the install directory (UTF-8), or null when it has none (a lone surrogate, or a
// directory longer than the engine's path limit); the caller frees it.
char* engine_dir(const wchar_t* install_dir) {
    // Up to 3 bytes per UTF-16 unit: more than the engine's limit takes is refused there anyway.
    char utf8[3 * (PATH_LIMIT + 1)];
    if (wcslen(install_dir) > PATH_LIMIT || !utf8_from_utf16(install_dir, utf8, sizeof utf8)) return nullptr;
    return _strdup(utf8);
}

// Extracts the payload into install_dir; EXTRACT_FAILED when the directory has no UTF-8 form.
int install_into(const wchar_t* install_dir, PayloadBlock** blocks, int32_t count, uint32_t total_unpacked,
                 int flags) {
    char* dir = install_dir ? engine_dir(install_dir) : nullptr;
    const int status = dir ? install_payload(dir, blocks, count, total_unpacked,
                                             (flags & PAYLOAD_FLAG_CHECKSUMS) != 0, window_progress())
                           : EXTRACT_FAILED;
    free(dir);
    return status;
}

}  // namespace

DWORD WINAPI install_worker(LPVOID) {
    // The window may replace the shared directory at any time; one copy keeps the whole run in one folder.
    const wchar_t* shared = g_install_dir.load();
    wchar_t* install_dir = shared ? _wcsdup(shared) : nullptr;

    int32_t count = 0;
    uint32_t total_unpacked = 0;
    int flags = 0;
    PayloadBlock** blocks = read_payload(&count, &total_unpacked, &flags);
    if (!blocks) {
        // The progress screen stays behind the box until the user has read it.
        show_message(MESSAGE_DAMAGED);
        g_installing = false;
        invalidate_window();
        free(install_dir);
        return 0;
    }

    const int status = install_into(install_dir, blocks, count, total_unpacked, flags);
    free_payload(blocks, count);
    if (status != EXTRACT_OK) {
        // The idle screen is back before the box, so the user can pick another folder right after it.
        g_installing = false;
        invalidate_window();
        show_message(MESSAGE_FAILED);
        free(install_dir);
        return 0;
    }

    finish_installation(install_dir, flags);
    free(install_dir);
    end_window();
    return 0;
}

bool start_install_worker() {
    DWORD thread_id;
    HANDLE thread = CreateThread(nullptr, 0, install_worker, nullptr, 0, &thread_id);
    if (!thread) return false;
    CloseHandle(thread);
    return true;
}
