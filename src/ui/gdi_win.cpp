// GDI primitives for the painting: bitmap resources loaded once and copied through one memory DC.
#include "ui/gdi_win.h"

#include <climits>
#include <cstring>
#include <cwchar>

#include "ui/texts.h"

namespace {

// A bitmap resource as loaded, with its size.
struct LoadedBitmap {
    int id;
    HBITMAP bitmap;
    BITMAP info;
};

// Room for every bitmap the window draws (nine); UI thread only, like all painting.
constexpr size_t MAX_BITMAPS = 16;
LoadedBitmap g_loaded[MAX_BITMAPS];
size_t g_loaded_count = 0;

// The memory DC the bitmaps are copied from, and the bitmap it was made with (selected again before deletion).
HDC g_source = nullptr;
HGDIOBJ g_source_original = nullptr;

// The loaded bitmap of a resource, loaded now if it is not yet; null when it cannot be.
const LoadedBitmap* bitmap_of(int id) {
    for (size_t i = 0; i < g_loaded_count; ++i)
        if (g_loaded[i].id == id) return &g_loaded[i];
    if (g_loaded_count == MAX_BITMAPS) return nullptr;
    HBITMAP bitmap = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
    if (!bitmap) return nullptr;
    LoadedBitmap& loaded = g_loaded[g_loaded_count++];
    loaded.id = id;
    loaded.bitmap = bitmap;
    memset(&loaded.info, 0, sizeof loaded.info);
    GetObjectW(bitmap, sizeof loaded.info, &loaded.info);
    return &loaded;
}

}  // namespace

void blit_bitmap_part(HDC canvas, int id, int x, int y, int w, int h) {
    const LoadedBitmap* loaded = bitmap_of(id);
    if (!loaded) return;
    if (w > loaded->info.bmWidth) w = loaded->info.bmWidth;
    if (h > loaded->info.bmHeight) h = loaded->info.bmHeight;
    if (!g_source) {
        g_source = CreateCompatibleDC(canvas);
        if (!g_source) return;
    }
    const HGDIOBJ previous = SelectObject(g_source, loaded->bitmap);
    if (!g_source_original) g_source_original = previous;  // the first selection returns the DC's own bitmap
    if (w > 0 && h > 0) BitBlt(canvas, x, y, w, h, g_source, 0, 0, SRCCOPY);
}

void release_bitmaps() {
    if (g_source) {
        SelectObject(g_source, g_source_original);
        DeleteDC(g_source);
        g_source = nullptr;
        g_source_original = nullptr;
    }
    for (size_t i = 0; i < g_loaded_count; ++i) DeleteObject(g_loaded[i].bitmap);
    g_loaded_count = 0;
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
