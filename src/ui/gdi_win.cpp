// GDI primitives for the painting: nothing is cached between calls.
#include "ui/gdi_win.h"

#include <climits>
#include <cstring>
#include <cwchar>

#include "ui/texts.h"

namespace {

HBITMAP load_bitmap(int id) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    return LoadBitmapW(module, MAKEINTRESOURCEW(id));
}

}  // namespace

void blit_bitmap_part(HDC canvas, int id, int x, int y, int w, int h) {
    HBITMAP bitmap = load_bitmap(id);
    if (!bitmap) return;
    BITMAP info;
    GetObjectW(bitmap, sizeof info, &info);
    if (w > info.bmWidth) w = info.bmWidth;
    if (h > info.bmHeight) h = info.bmHeight;
    HDC memory = CreateCompatibleDC(canvas);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (w > 0 && h > 0) BitBlt(canvas, x, y, w, h, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(bitmap);
}

void blit_bitmap(HDC canvas, int id, int x, int y) { blit_bitmap_part(canvas, id, x, y, INT_MAX, INT_MAX); }

void draw_line(HDC canvas, int x1, int y1, int x2, int y2, COLORREF colour) {
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ previous = SelectObject(canvas, pen);
    MoveToEx(canvas, x1, y1, nullptr);
    LineTo(canvas, x2, y2);
    SelectObject(canvas, previous);
    DeleteObject(pen);
}

HFONT create_point_font(int tenths) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    LOGFONTW font;
    memset(&font, 0, sizeof font);
    font.lfHeight = -(dpi * tenths / 720);
    font.lfCharSet = DEFAULT_CHARSET;
    wcscpy(font.lfFaceName, TEXT_FONT_FACE);
    return CreateFontIndirectW(&font);
}

SIZE text_extent(HDC canvas, const wchar_t* text) {
    SIZE size = {0, 0};
    GetTextExtentPoint32W(canvas, text, int(wcslen(text)), &size);
    return size;
}

void widen_ascii(const char* in, wchar_t* out, size_t cap) {
    size_t i = 0;
    for (; in[i] && i + 1 < cap; ++i) out[i] = wchar_t(static_cast<unsigned char>(in[i]));
    out[i] = L'\0';
}

void draw_text(HDC canvas, int x, int y, const wchar_t* text) { TextOutW(canvas, x, y, text, int(wcslen(text))); }
