// Drawing primitives over GDI: bitmap resources loaded once, lines and point-size fonts.
#pragma once
#include <windows.h>

// Copies bitmap resource id whole to (x, y) on the canvas.
void blit_bitmap(HDC canvas, int id, int x, int y);

// Copies the top-left w x h pixels of bitmap resource id to (x, y); only the bitmap's own pixels are
// copied, so a request wider or taller than the bitmap leaves the rest of the canvas as it was. A resource
// that cannot be loaded copies nothing. Each bitmap is loaded on its first copy and kept, and all are copied
// through one memory DC made with the first copy, until release_bitmaps. UI thread only.
void blit_bitmap_part(HDC canvas, int id, int x, int y, int w, int h);

// Deletes the kept bitmaps and their memory DC; a later copy loads them again.
void release_bitmaps();

// A 1-pixel solid line from (x1, y1) up to, not including, (x2, y2).
void draw_line(HDC canvas, int x1, int y1, int x2, int y2, COLORREF colour);

// The "宋体" font at a size in tenths of a point for the screen: height -(dpi * tenths / 720), truncated.
// The caller deletes it.
HFONT create_point_font(int tenths);

// Width and height of a text in the canvas's current font, measured (never assumed from a character count).
SIZE text_extent(HDC canvas, const wchar_t* text);

// ASCII text (digits, signs) into out, cap units with the NUL: each byte is its own UTF-16 unit.
void widen_ascii(const char* in, wchar_t* out, size_t cap);

// Draws text with its top-left corner at (x, y) in the canvas's current font, colour and background mode.
void draw_text(HDC canvas, int x, int y, const wchar_t* text);
