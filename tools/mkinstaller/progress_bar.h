// A text progress bar on a terminal, redrawn from a real ProgressMeter through the window's repaint hook.
#pragma once
#include <cstdio>

// While alive: a ProgressMeter (range 0-100 until install_payload sets it) is the window's meter, and the
// repaint hook redraws the bar on out, at most every few hundredths of a second. Before each redraw the
// trace held on stdout is released, so the bar always stays on the last line.
class TerminalProgress {
public:
    explicit TerminalProgress(FILE* out);
    // Shows the bar full on success, leaves it where it stopped otherwise; ends its line.
    void finish(bool success);
    // Removes the meter and the hook.
    ~TerminalProgress();

    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;
};
