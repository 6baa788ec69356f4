// ProgressMeter: the installer's one progress object (range, position, bar geometry).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "payload/progress.h"

struct HDC__;  // the Windows device context, for draw()

// Range and position are written by the install worker and its decoding threads and read by the UI thread's
// paint, each as one whole value (relaxed atomics); a paint sees at most one step old state and the next
// repaint catches up.
class ProgressMeter {
public:
    // position = minimum; the owner sets geometry and label next. No repaint.
    ProgressMeter(int32_t minimum, int32_t maximum);
    virtual ~ProgressMeter();

    // maximum = value; the position is neither clamped nor changed. No repaint.
    void set_maximum(int32_t value);
    // Clamps to maximum first, then minimum; stores and asks for a repaint of the progress strip
    // (invalidate_progress) only when the stored value changes.
    void set_position(int32_t value);
    // set_position(position + delta), the sum formed without overflow; safe from several threads at once.
    void advance(int32_t delta);
    // Stores the label visibility; repaint only when it changes.
    void show_label(bool visible);
    void set_geometry(int32_t x, int32_t y, int32_t width, int32_t height);

    // Position as a percentage of the range; exactly 100.0 when the range is empty or inverted.
    double percent() const;
    // Pixels of the fill bitmap to show: offset * width / range in 64-bit, truncated; width when range <= 0.
    int32_t fill_width() const;
    // The label text " %.1f%" (a space, percent with one decimal, "%") into buf; returns buf.
    char* format_label(char* buf, size_t cap) const;

    // Draws the track bitmap whole, the fill bitmap cut to fill_width() and (when visible) the centred label
    // on a device context. Windows only.
    void draw(HDC__* canvas) const;

    // This meter as the engine's progress sink: set_maximum and advance, with the meter as context.
    ProgressSink sink();

    int32_t minimum() const { return minimum_.load(std::memory_order_relaxed); }
    int32_t maximum() const { return maximum_.load(std::memory_order_relaxed); }
    int32_t position() const { return position_.load(std::memory_order_relaxed); }
    bool label_visible() const { return label_visible_.load(std::memory_order_relaxed); }
    int32_t x() const { return x_; }
    int32_t y() const { return y_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

private:
    // Clamps to maximum first, then minimum.
    int32_t clamp(int64_t value) const;

    std::atomic<int32_t> minimum_;
    std::atomic<int32_t> maximum_;
    std::atomic<int32_t> position_;
    std::atomic<bool> label_visible_;
    int32_t width_;
    int32_t height_;
    int32_t x_;
    int32_t y_;
};
