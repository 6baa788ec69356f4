// Draws the extraction's progress as one terminal line.
#include "progress_bar.h"

#include <chrono>
#include <cstring>

#include "host.h"
#include "ui/progress_meter.h"
#include "ui/shared_state.h"
#include "ui/window_hooks.h"

namespace {

constexpr int BAR_CELLS = 40;
// Redraws are throttled: each one flushes stdout and writes a line, far more than a meter step costs.
constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(50);

FILE* g_out = nullptr;
ProgressMeter* g_bar_meter = nullptr;
std::chrono::steady_clock::time_point g_last_draw;
int g_last_tenths = -1;
char g_stdout_buffer[1 << 20];

void draw(bool force) {
    const double percent = g_bar_meter->percent();
    const int tenths = int(percent * 10.0);
    const auto now = std::chrono::steady_clock::now();
    if (!force && (tenths == g_last_tenths || now - g_last_draw < REDRAW_INTERVAL)) return;
    g_last_draw = now;
    g_last_tenths = tenths;

    char cells[BAR_CELLS + 1];
    const int filled = tenths >= 1000 ? BAR_CELLS : tenths * BAR_CELLS / 1000;
    memset(cells, '#', size_t(filled));
    memset(cells + filled, '-', size_t(BAR_CELLS - filled));
    cells[BAR_CELLS] = '\0';
    // Blank the bar's line, let the held trace through, then draw the bar below it.
    fprintf(g_out, "\r%*s\r", BAR_CELLS + 10, "");
    fflush(g_out);
    fflush(stdout);
    fprintf(g_out, "[%s] %5.1f%%", cells, tenths / 10.0);
    fflush(g_out);
}

void repaint() { draw(false); }

}  // namespace

TerminalProgress::TerminalProgress(FILE* out) {
    g_out = out;
    g_bar_meter = new ProgressMeter(0, 100);
    g_last_tenths = -1;
    g_last_draw = std::chrono::steady_clock::time_point();
    // On the same terminal, trace lines written as they come would land on the bar's line.
    if (is_terminal(stdout)) setvbuf(stdout, g_stdout_buffer, _IOFBF, sizeof g_stdout_buffer);
    g_meter = g_bar_meter;
    set_window_hooks(WindowHooks{repaint, nullptr, nullptr});
}

void TerminalProgress::finish(bool success) {
    if (success) g_bar_meter->set_position(g_bar_meter->maximum());
    draw(true);
    fputc('\n', g_out);
    fflush(g_out);
}

TerminalProgress::~TerminalProgress() {
    set_window_hooks(WindowHooks{});
    g_meter = nullptr;
    delete g_bar_meter;
    g_bar_meter = nullptr;
    fflush(stdout);
}
