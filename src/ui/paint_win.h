// Window painting: the idle and progress screens, drawn off screen and copied in one piece.
#pragma once
#include <windows.h>

// Link orange of the change-path label and its underline.
constexpr COLORREF LINK_ORANGE = RGB(221, 118, 16);

// The install button (pressed or normal) with its white 13-point caption centred in the button's region.
void draw_install_button(HDC canvas);

// The whole WM_PAINT of the window: the icon when minimised, else the screen that the installing flag
// chooses. Records the hit regions of the idle screen.
void paint_window(HWND window, HICON icon);
