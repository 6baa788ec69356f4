// The installer window's own small dialog layer: creation, sizing, message dispatch and ending.
#include "ui/dialog_win.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "install/install_state.h"
#include "install/message.h"
#include "install/product.h"
#include "install/shell.h"
#include "install/window_seam.h"
#include "install/worker.h"
#include "platform/text_win.h"
#include "resource.h"
#include "ui/input.h"
#include "ui/layout.h"
#include "ui/paint_win.h"
#include "ui/progress_meter.h"
#include "ui/texts.h"
#include "ui/ui_state.h"

namespace {

// Posted by request_cancel: the modal loop belongs to the UI thread, so only it may end the dialog.
constexpr UINT WM_END_DIALOG = WM_APP + 1;
constexpr int CLIENT_WIDTH = WINDOW_WIDTH;
constexpr int CLIENT_HEIGHT = WINDOW_HEIGHT;

InstallerDialog* dialog_of(void* context) { return static_cast<InstallerDialog*>(context); }

// The progress strip's repaints. The engine moves the bar thousands of times an installation, from any thread, and
// each repaint request is a round trip to the window system (under wine, to its server), each paint a copy to the X
// server on the cores the decoding threads need. So a move asks only for the strip (the percentage line and the bar),
// only when no request is pending, and the strip is painted at most every PROGRESS_PAINT_INTERVAL_MS; the timer that
// ends the interval asks again for a position that moved meanwhile.
constexpr UINT PROGRESS_PAINT_INTERVAL_MS = 40;  // 25 paints a second still move the bar smoothly
constexpr UINT_PTR PROGRESS_PAINT_TIMER = 1;
// A strip asked for and not yet painted, or painted less than the interval ago: later moves need no request.
std::atomic<bool> g_progress_repaint_pending{false};
// The meter's position when the window was last painted (UI thread only).
int32_t g_painted_position = 0;

void invalidate_progress_area(void* dialog) {
    if (g_progress_repaint_pending.exchange(true)) return;
    const RECT area{PROGRESS_AREA.x, PROGRESS_AREA.y, PROGRESS_AREA.x + PROGRESS_AREA.width,
                    PROGRESS_AREA.y + PROGRESS_AREA.height};
    InvalidateRect(dialog_of(dialog)->hwnd(), &area, FALSE);
}

// The interval has ended: requests are taken again. The exchange acquires what a mover released with its request,
// so a move made during the interval is seen here and asked for.
void end_progress_interval(InstallerDialog* dialog) {
    KillTimer(dialog->hwnd(), PROGRESS_PAINT_TIMER);
    g_progress_repaint_pending.exchange(false);
    if (g_meter && g_meter->position() != g_painted_position) invalidate_progress_area(dialog);
}

// The seam the worker reaches the window through; context is the dialog.
void invalidate_dialog(void* dialog) { InvalidateRect(dialog_of(dialog)->hwnd(), nullptr, FALSE); }
void end_dialog_from_any_thread(void* dialog) { dialog_of(dialog)->request_cancel(); }
void message_over_dialog(void* dialog, const wchar_t* text) { show_message_box(dialog_of(dialog)->hwnd(), text); }
bool ask_retry_over_dialog(void* dialog, const wchar_t* text) { return ask_retry_box(dialog_of(dialog)->hwnd(), text); }

// What a click sets going; context is the dialog.
bool start_worker(void*) { return start_install_worker(); }
wchar_t* browse(void*) { return browse_for_folder(); }
void open_agreement(void*) { shell_open(AGREEMENT_URL, nullptr, SW_SHOWNORMAL); }
void close_dialog(void* dialog) { dialog_of(dialog)->OnCancel(); }
void minimise_dialog(void* dialog) { PostMessageW(dialog_of(dialog)->hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0); }

// The window is one 600 x 400 picture whatever font the template's dialog units meet: size the client
// area directly and centre the window on the work area, as the template's centring would have.
void size_and_centre(HWND window) {
    RECT frame = {0, 0, CLIENT_WIDTH, CLIENT_HEIGHT};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongW(window, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongW(window, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + (work.right - work.left - width) / 2;
    const int y = work.top + (work.bottom - work.top - height) / 2;
    SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Program Files, then the product's folder and a backslash, as a heap string; Program Files as the system
// usually names it when the shell cannot say.
wchar_t* default_install_dir() {
    wchar_t dir[MAX_PATH + 16];
    if (!get_program_files_dir(dir)) wcscpy(dir, L"C:\\Program Files");
    size_t length = wcslen(dir);
    dir[length++] = L'\\';
    if (!utf16_from_cp936(PRODUCT_DIR_NAME, strlen(PRODUCT_DIR_NAME), dir + length, MAX_PATH + 16 - length - 1))
        return nullptr;
    length = wcslen(dir);
    dir[length] = L'\\';
    dir[length + 1] = L'\0';
    return _wcsdup(dir);
}

}  // namespace

InstallerDialog::InstallerDialog(HWND parent) : parent_(parent) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    icon_ = FindResourceW(module, MAKEINTRESOURCEW(IDI_APP), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */)
                ? LoadIconW(module, MAKEINTRESOURCEW(IDI_APP))
                : nullptr;
}

INT_PTR InstallerDialog::DoModal() {
    // A wide dialog: its title and messages carry UTF-16, whatever the system's code page.
    INT_PTR result =
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_INSTALLER), parent_, dialog_proc, LPARAM(this));
    // The window is gone: later requests from a worker must find no dialog.
    set_window_seam(WindowSeam{});
    return result;
}

BOOL InstallerDialog::OnInitDialog() {
    size_and_centre(hwnd_);
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, LPARAM(icon_));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, LPARAM(icon_));
    SetWindowTextW(hwnd_, TEXT_TITLE);
    g_install_dir = default_install_dir();

    // The window's meter, registered as the engine's progress sink with the rest of the seam.
    ProgressMeter* meter = new ProgressMeter(0, 100);
    set_window_seam(WindowSeam{this, invalidate_dialog, end_dialog_from_any_thread, message_over_dialog, meter->sink(),
                               ask_retry_over_dialog, invalidate_progress_area});
    meter->set_geometry(PROGRESS_BAR_BOX.x, PROGRESS_BAR_BOX.y, PROGRESS_BAR_BOX.width, PROGRESS_BAR_BOX.height);
    meter->show_label(false);
    g_meter = meter;
    return TRUE;
}

void InstallerDialog::OnPaint() {
    // A strip asked for stays asked for until the interval ends (end_progress_interval).
    if (g_progress_repaint_pending.load()) SetTimer(hwnd_, PROGRESS_PAINT_TIMER, PROGRESS_PAINT_INTERVAL_MS, nullptr);
    g_painted_position = g_meter ? g_meter->position() : 0;
    paint_window(hwnd_, icon_);
}

void InstallerDialog::OnLButtonDown(int x, int y) { on_press(x, y); }

void InstallerDialog::OnLButtonUp(int x, int y) {
    const InputActions actions = {this, start_worker, browse, open_agreement, close_dialog, minimise_dialog};
    on_release(x, y, actions);
}

void InstallerDialog::OnOK() { EndDialog(hwnd_, IDOK); }

void InstallerDialog::OnCancel() { EndDialog(hwnd_, IDCANCEL); }

void InstallerDialog::request_cancel() { PostMessageW(hwnd_, WM_END_DIALOG, 0, 0); }

INT_PTR CALLBACK InstallerDialog::dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<InstallerDialog*>(lparam);
        SetWindowLongPtrW(window, DWLP_USER, LONG_PTR(dialog));
        dialog->hwnd_ = window;
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<InstallerDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    return dialog ? dialog->handle(message, wparam, lparam) : FALSE;
}

INT_PTR InstallerDialog::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    const int x = short(LOWORD(lparam));
    const int y = short(HIWORD(lparam));
    switch (message) {
    case WM_PAINT: OnPaint(); return TRUE;
    case WM_ERASEBKGND: return TRUE;  // the paint covers the whole client area
    case WM_TIMER:
        if (wparam == PROGRESS_PAINT_TIMER) end_progress_interval(this);
        return TRUE;
    case WM_QUERYDRAGICON:
        return INT_PTR(OnQueryDragIcon());  // one of the messages a dialog procedure answers directly
    case WM_LBUTTONDOWN: OnLButtonDown(x, y); return TRUE;
    case WM_LBUTTONUP: OnLButtonUp(x, y); return TRUE;
    case WM_SYSCOMMAND:
        // Nothing ends the window in the middle of an installation.
        if ((wparam & 0xFFF0) == SC_CLOSE && g_installing) return TRUE;
        return FALSE;
    case WM_COMMAND:
        if (g_installing) return TRUE;  // Enter and Escape, too, wait for the installation
        if (LOWORD(wparam) == IDOK) OnOK();
        else if (LOWORD(wparam) == IDCANCEL) OnCancel();
        return TRUE;
    case WM_END_DIALOG: OnCancel(); return TRUE;
    case WM_DESTROY: release_paint_resources(); return FALSE;
    default: return FALSE;  // WM_LBUTTONDBLCLK and the rest: default processing
    }
}
