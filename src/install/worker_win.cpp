// The install worker thread and its start.
#include "install/worker.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "install/failure_reason.h"
#include "install/held_programs.h"
#include "install/install_state.h"
#include "install/message.h"
#include "install/product.h"
#include "install/shell.h"
#include "install/window_seam.h"
#include "payload/extract.h"
#include "payload/pipeline.h"
#include "payload/manifest.h"
#include "payload/payload.h"
#include "payload/preflight.h"
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

// Room for a box's two lines: the first, a path of up to WIDE_PATH_CAP units and a few words around it.
constexpr size_t BOX_TEXT_CAP = WIDE_PATH_CAP + 512;

// What the worker ends with when it does not end the dialog.
enum class Outcome { ready, installed, failed, cancelled };

// Ending B: the idle screen is back before the box, so the user can pick another folder right after it.
// The box's second line says why.
void show_failure(const wchar_t* reason) {
    g_installing = false;
    invalidate_window();
    wchar_t* text = static_cast<wchar_t*>(malloc(BOX_TEXT_CAP * sizeof(wchar_t)));
    if (text && reason && reason[0]) two_lines(MESSAGE_FAILED, reason, text, BOX_TEXT_CAP);
    show_message(text && reason && reason[0] ? text : MESSAGE_FAILED);
    free(text);
}

// The pre-flight, asked again while the user closes what holds the files and answers Retry. Outcome::ready
// when everything can go ahead; otherwise the failure or the cancel has been shown and nothing was changed.
Outcome preflight_until_clear(const char* dir, const Manifest& manifest, PreflightReport* report, wchar_t* text) {
    for (;;) {
        const PreflightResult checked = preflight(dir, manifest, report);
        if (checked == PreflightResult::ok) return Outcome::ready;
        if (checked != PreflightResult::held) {
            preflight_reason(*report, text, BOX_TEXT_CAP);
            show_failure(text);
            return Outcome::failed;
        }
        // The progress screen stays behind the question; a program is never closed from here.
        const char* held[PREFLIGHT_HELD_LISTED];
        const int listed = report->held_count < PREFLIGHT_HELD_LISTED ? report->held_count : PREFLIGHT_HELD_LISTED;
        for (int i = 0; i < listed; ++i) held[i] = report->held[i];
        wchar_t programs[1024];
        if (!programs_holding(held, listed, programs, sizeof programs / sizeof programs[0])) programs[0] = L'\0';
        held_question(*report, programs, text, BOX_TEXT_CAP);
        if (!ask_retry(text)) {
            g_installing = false;
            invalidate_window();
            return Outcome::cancelled;
        }
    }
}

// Checks and extracts the payload into install_dir, and shows ending B or the cancel when it does not
// install. No install directory, or one with no UTF-8 form, counts as a failed extraction.
Outcome install_into(const wchar_t* install_dir, PayloadBlock** blocks, int32_t count, uint32_t total_unpacked,
                     int flags, const Manifest& manifest) {
    char* dir = install_dir ? engine_dir(install_dir) : nullptr;
    PreflightReport* report = static_cast<PreflightReport*>(malloc(sizeof(PreflightReport)));
    ExtractFailure* failure = static_cast<ExtractFailure*>(calloc(1, sizeof(ExtractFailure)));
    wchar_t* text = static_cast<wchar_t*>(malloc(BOX_TEXT_CAP * sizeof(wchar_t)));
    Outcome outcome = Outcome::failed;
    if (!dir || !report || !failure || !text) {
        show_failure(nullptr);
    } else if (manifest.length == 0 ||
               (outcome = preflight_until_clear(dir, manifest, report, text)) == Outcome::ready) {
        // What a killed installation left behind goes before anything is written.
        if (manifest.length > 0) remove_temporaries(dir, manifest);
        const int status = install_payload(dir, blocks, count, total_unpacked, (flags & PAYLOAD_FLAG_CHECKSUMS) != 0,
                                           window_progress(), failure);
        outcome = status == EXTRACT_OK ? Outcome::installed : Outcome::failed;
        if (status != EXTRACT_OK) {
            extraction_reason(*failure, text, BOX_TEXT_CAP);
            show_failure(text);
        }
    }
    free(text);
    free(failure);
    free(report);
    free(dir);
    return outcome;
}

}  // namespace

DWORD WINAPI install_worker(LPVOID) {
    // The window may replace the shared directory at any time; one copy keeps the whole run in one folder.
    const wchar_t* shared = g_install_dir.load();
    wchar_t* install_dir = shared ? _wcsdup(shared) : nullptr;

    int32_t count = 0;
    uint32_t total_unpacked = 0;
    int flags = 0;
    Manifest manifest{};
    PayloadBlock** blocks = read_payload(&count, &total_unpacked, &flags, &manifest);
    if (!blocks) {
        // The progress screen stays behind the box until the user has read it.
        show_message(MESSAGE_DAMAGED);
        g_installing = false;
        invalidate_window();
        free(install_dir);
        return 0;
    }

    const Outcome outcome = install_into(install_dir, blocks, count, total_unpacked, flags, manifest);
    free_payload(blocks, count);
    free_manifest(&manifest);
    if (outcome != Outcome::installed) {
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
