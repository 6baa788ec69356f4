// The window seam's current functions.
#include "install/window_seam.h"

namespace {
WindowSeam g_seam{};
}

void set_window_seam(const WindowSeam& seam) { g_seam = seam; }

const WindowSeam& window_seam() { return g_seam; }

void invalidate_window() {
    if (g_seam.invalidate) g_seam.invalidate(g_seam.context);
}

void invalidate_progress() {
    if (g_seam.invalidate_progress) g_seam.invalidate_progress(g_seam.context);
    else invalidate_window();
}

void end_window() {
    if (g_seam.end_dialog) g_seam.end_dialog(g_seam.context);
}

const ProgressSink* window_progress() { return g_seam.progress.advance ? &g_seam.progress : nullptr; }
