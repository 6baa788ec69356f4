// The seam between the installation and the window: what the worker asks of the window, which implements it.
#pragma once

#include "payload/progress.h"

// Set by the window on the UI thread before any worker starts; each function gets context back. A null
// function means no window for that request: invalidate and end_dialog do nothing, message and ask_retry fall
// back to the platform's boxes without an owner. A null progress.advance means nobody shows the progress.
struct WindowSeam {
    void* context;
    void (*invalidate)(void* context);                    // repaint the whole window, no erase; any thread
    void (*end_dialog)(void* context);                    // the dialog's cancel operation; any thread
    void (*message)(void* context, const wchar_t* text);  // modal box with one OK button; returns once dismissed
    ProgressSink progress;                                // the window's meter, for the extraction
    // Modal box with Retry and Cancel; true for Retry. Returns once answered.
    bool (*ask_retry)(void* context, const wchar_t* text);
    // Repaint only what a change of the progress position changes (the percentage line and the bar), no erase;
    // any thread. Null: the whole window (invalidate).
    void (*invalidate_progress)(void* context);
};

// Replaces the seam; pass {} to go back to "no window".
void set_window_seam(const WindowSeam& seam);
const WindowSeam& window_seam();

// Asks for a repaint of the whole window (nothing without a window).
void invalidate_window();

// Asks for a repaint of what a new progress position changes: the seam's invalidate_progress, else the whole
// window (nothing without a window).
void invalidate_progress();

// Asks the window to end through its cancel operation (nothing without a window).
void end_window();

// The window's progress sink for install_payload, or null when it shows none.
const ProgressSink* window_progress();
