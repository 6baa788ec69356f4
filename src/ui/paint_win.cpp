// The window's paint: background, boxes, and the idle or progress screen, double-buffered on a kept canvas.
#include "ui/paint_win.h"

#include <cstdio>
#include <cwchar>

#include "install/install_state.h"
#include "resource.h"
#include "ui/gdi_win.h"
#include "ui/input.h"
#include "ui/layout.h"
#include "ui/middle_ellipsis.h"
#include "ui/progress_meter.h"
#include "ui/texts.h"
#include "ui/ui_state.h"

namespace {

constexpr COLORREF BLACK = RGB(0, 0, 0);
constexpr COLORREF WHITE = RGB(255, 255, 255);
// The canvas is the window's whole client area: one picture, copied in one piece.
constexpr int CANVAS_WIDTH = WINDOW_WIDTH;
constexpr int CANVAS_HEIGHT = WINDOW_HEIGHT;
// The change-path label is drawn this far right of the directory line's left end plus its width.
constexpr int CHANGE_PATH_OFFSET = DIR_LINE_X + CHANGE_PATH_GAP;

// What every paint draws with, made by the first paint and kept for the window's life (UI thread only);
// the bitmaps it copies are kept by the drawing primitives.
struct PaintKit {
    HDC canvas = nullptr;               // the off-screen canvas: a memory DC holding canvas_bitmap
    HBITMAP canvas_bitmap = nullptr;    // CANVAS_WIDTH x CANVAS_HEIGHT, compatible with the window
    HGDIOBJ canvas_original = nullptr;  // the memory DC's own bitmap, selected again before it is deleted
    HFONT text_font = nullptr;          // 9 point: every text of both screens
    HFONT caption_font = nullptr;       // 13 point: the install button's caption
};
PaintKit g_kit;

// The canvas and fonts for a window painted on window_dc; false (and nothing kept) when the canvas cannot be made.
bool make_kit(HDC window_dc) {
    g_kit.canvas = CreateCompatibleDC(window_dc);
    g_kit.canvas_bitmap = CreateCompatibleBitmap(window_dc, CANVAS_WIDTH, CANVAS_HEIGHT);
    if (!g_kit.canvas || !g_kit.canvas_bitmap) {
        release_paint_resources();
        return false;
    }
    g_kit.canvas_original = SelectObject(g_kit.canvas, g_kit.canvas_bitmap);
    g_kit.text_font = create_point_font(90);
    g_kit.caption_font = create_point_font(130);
    return true;
}

// A drive root such as D:\ keeps its backslash; every other directory is shown without it. In UTF-16 a
// backslash unit is always the backslash itself. The line starts with its lead, so there is a unit before.
void drop_trailing_backslash(wchar_t* line) {
    const size_t length = wcslen(line);
    if (length < 2 || line[length - 1] != L'\\' || line[length - 2] == L':') return;
    line[length - 1] = L'\0';
}

// The lead, then as much of the directory as fits the line's buffer.
void format_dir_line(wchar_t (&line)[1200], const wchar_t* dir) {
    const size_t lead = wcslen(TEXT_DIR_LINE_LEAD);
    wmemcpy(line, TEXT_DIR_LINE_LEAD, lead);
    line[lead] = L'\0';
    if (dir) wcsncat(line, dir, 1200 - lead - 1);
    drop_trailing_backslash(line);
}

int measure_on_canvas(void* canvas, const wchar_t* text, size_t length) {
    SIZE size = {0, 0};
    GetTextExtentPoint32W(static_cast<HDC>(canvas), text, int(length), &size);
    return size.cx;
}

void paint_idle(HDC canvas) {
    wchar_t full[1200];
    format_dir_line(full, g_install_dir.load());
    // The line gives way to the change-path label: a directory too long for the room left of it loses its middle.
    const SIZE change = text_extent(canvas, TEXT_CHANGE_PATH);
    const int widest_line = INSTALL_BUTTON_REGION.x - CHANGE_PATH_BUTTON_GAP - change.cx - CHANGE_PATH_OFFSET;
    wchar_t line[1200];
    fit_middle(full, wcslen(TEXT_DIR_LINE_LEAD), widest_line, measure_on_canvas, canvas, line, 1200);
    SetTextColor(canvas, BLACK);
    draw_text(canvas, DIR_LINE_X, DIR_LINE_Y, line);
    const int line_width = text_extent(canvas, line).cx;

    SetTextColor(canvas, LINK_ORANGE);
    const int x = line_width + CHANGE_PATH_OFFSET;
    g_change_path_region.x = x;
    g_change_path_region.y = DIR_LINE_Y;
    draw_text(canvas, x, DIR_LINE_Y, TEXT_CHANGE_PATH);
    g_change_path_region.width = change.cx;
    g_change_path_region.height = change.cy;
    draw_line(canvas, x, DIR_LINE_Y + change.cy, x + change.cx, DIR_LINE_Y + change.cy, LINK_ORANGE);

    g_check_box_region.y = CHECK_BOX_REGION.y;
    blit_bitmap(canvas, g_agreed ? IDB_CHECK_ON : IDB_CHECK_OFF, CHECK_BOX_REGION.x, CHECK_BOX_REGION.y);

    SetTextColor(canvas, BLACK);
    wchar_t agreement[32];
    wcscpy(agreement, TEXT_AGREEMENT_LEAD);
    wcscat(agreement, TEXT_AGREEMENT_LINK);
    draw_text(canvas, AGREEMENT_X, AGREEMENT_Y, agreement);
    const SIZE link = text_extent(canvas, TEXT_AGREEMENT_LINK);
    g_agreement_region.width = link.cx;
    g_agreement_region.height = link.cy;
    const SIZE lead = text_extent(canvas, TEXT_AGREEMENT_LEAD);
    g_agreement_region.x = AGREEMENT_X + lead.cx;
    g_agreement_region.y = AGREEMENT_Y;
    const int underline_y = AGREEMENT_Y + lead.cy;
    draw_line(canvas, g_agreement_region.x, underline_y, g_agreement_region.x + link.cx, underline_y, BLACK);
}

void paint_progress(HDC canvas) {
    // The paint set the canvas's text colour to a new device context's black: no colour is set here.
    char percent[32];
    snprintf(percent, sizeof percent, "%.1f%%", g_meter ? g_meter->percent() : 0.0);
    wchar_t text[64];
    wcscpy(text, TEXT_PROGRESS_LEAD);
    const size_t lead = wcslen(text);
    widen_ascii(percent, text + lead, 64 - lead);
    draw_text(canvas, DIR_LINE_X, DIR_LINE_Y, text);
    if (g_meter) g_meter->draw(canvas);
}

void paint_minimised(HWND window, HICON icon) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    SendMessageW(window, WM_ICONERASEBKGND, WPARAM(dc), 0);
    const int icon_w = GetSystemMetrics(SM_CXICON);
    const int icon_h = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(window, &client);
    DrawIcon(dc, (client.right - icon_w + 1) / 2, (client.bottom - icon_h + 1) / 2, icon);
    EndPaint(window, &ps);
}

}  // namespace

void draw_install_button(HDC canvas) {
    blit_bitmap(canvas, g_button_pressed ? IDB_BUTTON_PRESSED : IDB_BUTTON, INSTALL_BUTTON_REGION.x,
                INSTALL_BUTTON_REGION.y);
    HGDIOBJ previous = SelectObject(canvas, g_kit.caption_font);
    SetTextColor(canvas, WHITE);
    const SIZE caption = text_extent(canvas, TEXT_INSTALL_BUTTON);
    const HitRegion& box = INSTALL_BUTTON_REGION;
    draw_text(canvas, box.x + (box.width - caption.cx) / 2, box.y + (box.height - caption.cy) / 2, TEXT_INSTALL_BUTTON);
    SelectObject(canvas, previous);
}

void paint_window(HWND window, HICON icon) {
    if (IsIconic(window)) {
        paint_minimised(window, icon);
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (!g_kit.canvas && !make_kit(dc)) {
        EndPaint(window, &ps);
        return;
    }
    HDC canvas = g_kit.canvas;
    // Every paint starts from the untouched background and with a new device context's text colour.
    blit_bitmap(canvas, IDB_BACKGROUND, 0, 0);
    SetTextColor(canvas, BLACK);

    blit_bitmap(canvas, IDB_CLOSE, CLOSE_BOX_REGION.x, CLOSE_BOX_REGION.y);
    blit_bitmap(canvas, IDB_MINIMIZE, MINIMISE_BOX_REGION.x, MINIMISE_BOX_REGION.y);
    SetBkMode(canvas, TRANSPARENT);
    if (!g_installing) draw_install_button(canvas);

    HGDIOBJ previous_font = SelectObject(canvas, g_kit.text_font);
    if (g_installing) paint_progress(canvas);
    else paint_idle(canvas);
    SelectObject(canvas, previous_font);

    BitBlt(dc, 0, 0, CANVAS_WIDTH, CANVAS_HEIGHT, canvas, 0, 0, SRCCOPY);
    EndPaint(window, &ps);
}

void release_paint_resources() {
    if (g_kit.canvas) {
        if (g_kit.canvas_original) SelectObject(g_kit.canvas, g_kit.canvas_original);
        DeleteDC(g_kit.canvas);
    }
    if (g_kit.canvas_bitmap) DeleteObject(g_kit.canvas_bitmap);
    if (g_kit.text_font) DeleteObject(g_kit.text_font);
    if (g_kit.caption_font) DeleteObject(g_kit.caption_font);
    g_kit = PaintKit{};
    release_bitmaps();
}
