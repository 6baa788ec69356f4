// Counts the repaint requests that reach the window seam, for the window's own tests.
#pragma once

// While alive, the window seam's invalidate counts instead of repainting; the seam is empty afterwards.
class RepaintCounter {
public:
    RepaintCounter();
    ~RepaintCounter();
    int count() const { return count_; }

private:
    static void on_invalidate(void* self);
    int count_ = 0;
};
