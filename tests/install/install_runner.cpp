// Headless stand-in for the installer window: runs install_worker as the install click does, with the
// payload appended to this executable, and reports on stdout what the worker asks of the window.
//
//   install_runner DIR...   one attempt per install directory; the next attempt starts only after one
//                           that did not end the dialog, as the user would click install again. The
//                           directories arrive as UTF-16 (wmain), whatever the system's code page.
//
// Lines, in the order things happened, between the payload's own trace lines (texts and directories as
// code page 936 bytes, a character without a form as '?'):
//   attempt <n> <dir>
//   event invalidate installing=<0|1>
//   event message installing=<0|1> <text>          (the box is dismissed at once; its first line)
//   reason <text>                                   the box's second line, when it has one
//   event retry installing=<0|1>                    the Retry/Cancel box, answered Cancel unless JT_RUNNER_RETRY
//                                                   names a file: then the runner creates <file>.asked, waits
//                                                   (at most 60 s) until the test removes <file>, and answers Retry
//   question <text>                                 that box's text, its line breaks shown as " | "
//   event end_dialog installing=<0|1>
//   worker_end installing=<0|1>                     the worker returned without ending the dialog
//   dialog_ended                                    the application would end here, and so does the runner
// Exit code 0, or 2 for bad usage, 3 when no thread starts or a worker neither ends nor ends the dialog.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "install/install_state.h"
#include "install/window_seam.h"
#include "install/worker.h"
#include "support/text936_win.h"

namespace {

HANDLE g_dialog_ended;

void on_invalidate(void*) {
    printf("event invalidate installing=%d\n", g_installing.load() ? 1 : 0);
    fflush(stdout);
}

void on_end_dialog(void*) {
    printf("event end_dialog installing=%d\n", g_installing.load() ? 1 : 0);
    fflush(stdout);
    SetEvent(g_dialog_ended);
}

void on_message(void*, const wchar_t* text) {
    const std::string lines = narrow936(text);
    const size_t cut = lines.find('\n');
    printf("event message installing=%d %s\n", g_installing.load() ? 1 : 0, lines.substr(0, cut).c_str());
    if (cut != std::string::npos) printf("reason %s\n", lines.substr(cut + 1).c_str());
    fflush(stdout);
}

bool on_ask_retry(void*, const wchar_t* text) {
    std::string lines = narrow936(text);
    for (size_t at; (at = lines.find('\n')) != std::string::npos;) lines.replace(at, 1, " | ");
    printf("event retry installing=%d\nquestion %s\n", g_installing.load() ? 1 : 0, lines.c_str());
    fflush(stdout);
    char marker[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("JT_RUNNER_RETRY", marker, MAX_PATH);
    if (n == 0 || n >= MAX_PATH - 8) return false;
    const std::string asked = std::string(marker) + ".asked";
    HANDLE signal =
        CreateFileA(asked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (signal != INVALID_HANDLE_VALUE) CloseHandle(signal);
    for (int i = 0; i < 3000 && GetFileAttributesA(marker) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(20);
    return GetFileAttributesA(marker) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: install_runner DIR...\n");
        return 2;
    }
    g_dialog_ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    set_window_seam(WindowSeam{nullptr, on_invalidate, on_end_dialog, on_message, {}, on_ask_retry, nullptr});

    for (int i = 1; i < argc; ++i) {
        printf("attempt %d %s\n", i, narrow936(argv[i]).c_str());
        fflush(stdout);
        // What the install click does: the directory is the window's heap string, the flag goes up first.
        g_install_dir = _wcsdup(argv[i]);
        g_installing = true;
        DWORD thread_id;
        HANDLE thread = CreateThread(nullptr, 0, install_worker, nullptr, 0, &thread_id);
        if (!thread) return 3;

        HANDLE waits[2] = {thread, g_dialog_ended};
        DWORD woke = WaitForMultipleObjects(2, waits, FALSE, 120000);
        if (woke == WAIT_OBJECT_0 + 1) {
            printf("dialog_ended\n");
            fflush(stdout);
            // The worker returns right after ending the dialog. Ending the process under it once ended the
            // runner by SIGKILL under wine, failing a test whose output was complete.
            WaitForSingleObject(thread, 10000);
            return 0;
        }
        if (woke != WAIT_OBJECT_0) return 3;
        CloseHandle(thread);
        printf("worker_end installing=%d\n", g_installing.load() ? 1 : 0);
        fflush(stdout);
    }
    return 0;
}
