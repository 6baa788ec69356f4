// The install worker thread and its start.
#include "install/worker.h"

#include <cstdio>
#include <cstdlib>

#include "install/install_state.h"
#include "install/message.h"
#include "install/product.h"
#include "install/shell.h"
#include "install/window_seam.h"
#include "payload/extract.h"
#include "payload/payload.h"

namespace {

// install_dir + name into a 512-byte program path; false when it does not fit, and such a path could
// not be handed to the ANSI shell calls anyway.
bool format_program_path(char (&path)[512], const char* install_dir, const char* name) {
    int length = snprintf(path, sizeof path, "%s%s", install_dir, name);
    return length >= 0 && length < int(sizeof path);
}

// Without a desktop folder there is nowhere to put a shortcut: both are skipped, the launches still go ahead.
void link_on_desktop(const char* desktop, const char* program, const char* shortcut, const char* install_dir) {
    if (desktop) create_shortcut(program, desktop, shortcut, install_dir, 0, SHORTCUT_DESCRIPTION, SW_SHOWNORMAL);
}

// Ending C: shortcuts and launches. Their failures change nothing: the installation has succeeded.
void finish_installation(const char* install_dir, int flags) {
    char desktop_buffer[512];
    const char* desktop = get_desktop_dir(desktop_buffer) ? desktop_buffer : nullptr;

    CoInitialize(nullptr);
    char program[512];
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

}  // namespace

DWORD WINAPI install_worker(LPVOID) {
    // The window may replace the shared directory at any time; one copy keeps the whole run in one folder.
    const char* shared = g_install_dir.load();
    char* install_dir = shared ? _strdup(shared) : nullptr;

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

    int status = install_dir ? install_payload(install_dir, blocks, count, total_unpacked,
                                                 (flags & PAYLOAD_FLAG_CHECKSUMS) != 0, window_progress()) : EXTRACT_FAILED;
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
