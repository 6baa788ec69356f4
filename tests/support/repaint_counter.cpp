// Repaint counting through the window seam.
#include "support/repaint_counter.h"

#include "install/window_seam.h"

RepaintCounter::RepaintCounter() {
    set_window_seam(WindowSeam{this, on_invalidate, nullptr, nullptr, {}, nullptr, nullptr});
}

RepaintCounter::~RepaintCounter() { set_window_seam(WindowSeam{}); }

void RepaintCounter::on_invalidate(void* self) { ++static_cast<RepaintCounter*>(self)->count_; }
