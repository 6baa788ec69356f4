// ProgressMeter drawing: the track whole, the fill cut to the position, the optional centred label.
#include <windows.h>

#include <cstring>

#include "resource.h"
#include "ui/gdi_win.h"
#include "ui/progress_meter.h"

void ProgressMeter::draw(HDC canvas) const {
    blit_bitmap(canvas, IDB_PROGRESS_TRACK, x_, y_);
    blit_bitmap_part(canvas, IDB_PROGRESS_FILL, x_, y_, fill_width(), height_);
    if (!label_visible()) return;
    char label[64];
    format_label(label, sizeof label);
    SIZE extent = text_extent(canvas, label);
    TextOutA(canvas, x_ + ((width_ - extent.cx) >> 1), y_ + ((height_ - extent.cy) >> 1), label, int(strlen(label)));
}
