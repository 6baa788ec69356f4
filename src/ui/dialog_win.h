// InstallerDialog: the borderless modal window over dialog template 102, and its message handling.
#pragma once
#include <windows.h>

class InstallerDialog {
public:
    // Loads the icon of group 128; a failed load leaves a window without an icon.
    explicit InstallerDialog(HWND parent);

    // Runs the window modally until OnOK or OnCancel ends it; returns the end code.
    INT_PTR DoModal();
    HWND hwnd() const { return hwnd_; }

    // Icon, title, default install directory, dialog pointer, meter; sizes the client area to 600 x 400.
    BOOL OnInitDialog();
    void OnPaint();
    HICON OnQueryDragIcon() const { return icon_; }
    void OnLButtonDown(int x, int y);
    void OnLButtonUp(int x, int y);
    // Ends the modal loop with IDOK / IDCANCEL; on the UI thread only (see request_cancel).
    void OnOK();
    void OnCancel();
    // The cancel operation from any thread: posted to the UI thread, which ends the modal loop.
    void request_cancel();

private:
    static INT_PTR CALLBACK dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);

    HWND parent_;
    HWND hwnd_ = nullptr;
    HICON icon_;
};
