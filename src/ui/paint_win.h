// Window painting: the idle and progress screens, drawn off screen and copied in one piece.
#pragma once
#include <windows.h>

// Link orange of the change-path label and its underline.
constexpr COLORREF LINK_ORANGE = RGB(221, 118, 16);

// The install button (pressed or normal) with its white 13-point caption centred in the button's region; within a
// paint only, in the font that paint_window keeps.
void draw_install_button(HDC canvas);

// The whole WM_PAINT of the window: the icon when minimised, else the screen that the installing flag
// chooses. Records the hit regions of the idle screen. The first paint makes the off-screen canvas and the two
// fonts, and loads the bitmaps, which later paints reuse; a paint whose canvas cannot be made draws nothing.
void paint_window(HWND window, HICON icon);

// Deletes what the paints kept (canvas, fonts, bitmaps) when the window ends; a later paint would make them again.
void release_paint_resources();
