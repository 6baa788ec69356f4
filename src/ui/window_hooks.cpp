// The window seam's current hooks.
#include "ui/window_hooks.h"

namespace {
WindowHooks g_hooks{};
}

void set_window_hooks(const WindowHooks& hooks) { g_hooks = hooks; }

const WindowHooks& window_hooks() { return g_hooks; }

void invalidate_window() {
    if (g_hooks.invalidate) g_hooks.invalidate();
}

void end_window() {
    if (g_hooks.end_dialog) g_hooks.end_dialog();
}
