// ProgressMeter drawing: the track whole, the fill cut to the position, the optional centred label.
#include <windows.h>

#include <cstring>

#include "ui/gdi_win.h"
#include "ui/progress_meter.h"

void ProgressMeter::draw(HDC canvas) const {
    blit_bitmap(canvas, g_progress_track_bitmap, x_, y_);
    blit_bitmap_part(canvas, g_progress_fill_bitmap, x_, y_, fill_width(), height_);
    if (!label_visible()) return;
    char label[64];
    format_label(label, sizeof label);
    SIZE extent = text_extent(canvas, label);
    TextOutA(canvas, x_ + ((width_ - extent.cx) >> 1), y_ + ((height_ - extent.cy) >> 1), label, int(strlen(label)));
}
