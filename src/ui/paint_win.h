// Window painting: the idle and progress screens, drawn off screen and copied in one piece.
#pragma once
#include <windows.h>

// Bitmap resources of the window.
enum {
    BITMAP_BACKGROUND = 130,
    BITMAP_BUTTON = 134,
    BITMAP_BUTTON_PRESSED = 142,
    BITMAP_CLOSE = 140,
    BITMAP_MINIMISE = 141,
    BITMAP_CHECK_ON = 143,
    BITMAP_CHECK_OFF = 144,
};

// Link orange of the change-path label and its underline.
constexpr COLORREF LINK_ORANGE = RGB(221, 118, 16);

// The install button (pressed or normal) with its white 13-point caption centred in the button's region.
void draw_install_button(HDC canvas);

// The whole WM_PAINT of the window: the icon when minimised, else the screen that the installing flag
// chooses. Records the hit regions of the idle screen.
void paint_window(HWND window, HICON icon);
