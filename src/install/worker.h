// The install worker: one installation from payload to launched product, on its own thread.
#pragma once
#include <windows.h>

// Thread start routine (the parameter is unused; start it with null). Copies the install directory from
// g_install_dir when it starts and uses that copy for every step. Reads the payload out of the running
// executable and extracts it, reporting to the window seam's progress sink, releases the payload, then
// takes one ending:
//   A  payload unreadable (its manifest damaged among it): message "安装程序已损坏，请重新下载", then clears
//      g_installing and asks for a repaint;
//   H  (a payload with a manifest) before anything is written, the pre-flight (payload/preflight.h) finds files
//      to be replaced that other programs hold or run: a Retry/Cancel box (ask_retry) names the programs (or,
//      when the system cannot say, the files); Retry checks again, Cancel clears g_installing and asks for a
//      repaint, back at the idle screen with nothing changed. No program is ever closed from here;
//   B  the pre-flight refused (paths too long, something in the way, no room, the folder not writable, a file
//      that cannot be replaced: nothing changed then) or extraction failed: clears g_installing, asks for a
//      repaint, then message "安装失败,请重新选择安装路径" with a second line saying why (failure_reason.h);
//   C  success: desktop shortcuts and launches by the option bits (bit 0 service shortcut, bit 1 service
//      launch; the cashier is always linked and launched maximised; both shortcuts are skipped when the
//      desktop cannot be located), clears g_installing before the cashier starts, then asks the window
//      seam's end_dialog to end the dialog.
// No install directory to copy (none set, or no memory) counts as a failed extraction (ending B).
// Returns 0 in every ending. Messages go through show_message (message.h).
DWORD WINAPI install_worker(LPVOID);

// Starts install_worker on a new thread that nobody joins, as the install click does once it has set
// g_installing and asked for a repaint. False when no thread could be created: then nothing will ever clear
// the flag, so the caller clears g_installing and asks for a repaint itself.
bool start_install_worker();
