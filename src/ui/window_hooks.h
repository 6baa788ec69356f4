// The narrow seam between the work and the window: repaint, end the dialog, tell the user.
#pragma once

// Each hook may be null: then the request does nothing (no window yet), or for message the
// platform's own box without an owner is shown. Hooks are set on the UI thread before any worker starts.
struct WindowHooks {
    void (*invalidate)();                // repaint the whole window, no erase; callable from any thread
    void (*end_dialog)();                // the dialog's cancel operation; callable from any thread
    void (*message)(const char* text);   // modal box with one OK button; returns once dismissed
};

// Replaces the hooks; pass {} to go back to "no window".
void set_window_hooks(const WindowHooks& hooks);
const WindowHooks& window_hooks();

// Asks for a repaint of the whole window (nothing without a window).
void invalidate_window();

// Asks the window to end through its cancel operation (nothing without a window).
void end_window();
