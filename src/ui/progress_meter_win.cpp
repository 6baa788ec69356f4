// ProgressMeter drawing: the track whole, the fill cut to the position, the optional centred label.
#include <windows.h>

#include "resource.h"
#include "ui/gdi_win.h"
#include "ui/progress_meter.h"

void ProgressMeter::draw(HDC canvas) const {
    blit_bitmap(canvas, IDB_PROGRESS_TRACK, x_, y_);
    blit_bitmap_part(canvas, IDB_PROGRESS_FILL, x_, y_, fill_width(), height_);
    if (!label_visible()) return;
    char label[64];
    format_label(label, sizeof label);
    wchar_t wide[64];
    widen_ascii(label, wide, 64);
    const SIZE extent = text_extent(canvas, wide);
    draw_text(canvas, x_ + ((width_ - extent.cx) >> 1), y_ + ((height_ - extent.cy) >> 1), wide);
}
