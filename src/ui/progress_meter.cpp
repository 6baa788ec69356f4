// ProgressMeter arithmetic: clamping, percentage, fill width and label text (portable).
#include "ui/progress_meter.h"

#include <cstdio>

#include "install/window_seam.h"

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

void sink_set_maximum(void* meter, int32_t value) { static_cast<ProgressMeter*>(meter)->set_maximum(value); }
void sink_advance(void* meter, int32_t delta) { static_cast<ProgressMeter*>(meter)->advance(delta); }

}  // namespace

ProgressMeter::ProgressMeter(int32_t minimum, int32_t maximum)
    : minimum_(minimum),
      maximum_(maximum),
      position_(minimum),
      label_visible_(false),
      width_(0),
      height_(0),
      x_(0),
      y_(0) {}

ProgressMeter::~ProgressMeter() = default;

void ProgressMeter::set_maximum(int32_t value) { maximum_.store(value, relaxed); }

int32_t ProgressMeter::clamp(int64_t value) const {
    if (value > maximum()) return maximum();
    if (value < minimum()) return minimum();
    return int32_t(value);
}

void ProgressMeter::set_position(int32_t value) {
    const int32_t clamped = clamp(value);
    if (position_.exchange(clamped, relaxed) != clamped) invalidate_progress();
}

void ProgressMeter::advance(int32_t delta) {
    // Decoding threads and extraction advance together: the sum is formed and stored in one step, so no
    // advance is lost, and only a change asks for a repaint.
    int32_t old = position();
    int32_t next;
    do {
        next = clamp(int64_t(old) + delta);
        if (next == old) return;
    } while (!position_.compare_exchange_weak(old, next, relaxed));
    invalidate_progress();
}

void ProgressMeter::show_label(bool visible) {
    if (visible == label_visible()) return;
    label_visible_.store(visible, relaxed);
    invalidate_window();
}

void ProgressMeter::set_geometry(int32_t x, int32_t y, int32_t width, int32_t height) {
    x_ = x;
    y_ = y;
    width_ = width;
    height_ = height;
}

double ProgressMeter::percent() const {
    // Differences in 64 bits: a full signed 32-bit range would overflow in 32.
    int64_t range = int64_t(maximum()) - minimum();
    if (range <= 0) return 100.0;
    return double(int64_t(position()) - minimum()) * 100.0 / double(range);
}

int32_t ProgressMeter::fill_width() const {
    int64_t range = int64_t(maximum()) - minimum();
    if (range <= 0) return width_;
    int64_t offset = int64_t(position()) - minimum();
    return int32_t(offset * width_ / range);
}

char* ProgressMeter::format_label(char* buf, size_t cap) const {
    snprintf(buf, cap, " %.1f%%", percent());
    return buf;
}

ProgressSink ProgressMeter::sink() { return ProgressSink{this, sink_set_maximum, sink_advance}; }
