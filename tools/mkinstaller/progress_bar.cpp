// Draws the extraction's progress as one terminal line.
#include "progress_bar.h"

#include <cstring>

#include "host.h"

namespace {

constexpr int BAR_CELLS = 40;
// Redraws are throttled: each one flushes stdout and writes a line, far more than a step costs.
constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(50);
// A line in a log every few seconds: well inside the no-output timeouts of CI systems (minutes), few lines.
constexpr auto PLAIN_INTERVAL = std::chrono::seconds(5);
// Trace lines held back while the bar is on the same terminal (one per process: stdout is one stream).
char g_stdout_buffer[1 << 20];

}  // namespace

TerminalProgress::TerminalProgress(FILE* out, bool bytes, bool plain)
    : out_(out), bytes_(bytes), plain_(plain), start_(std::chrono::steady_clock::now()) {
    last_draw_ = start_;
    // On the same terminal, trace lines written as they come would land on the bar's line.
    if (!plain_ && is_terminal(stdout)) setvbuf(stdout, g_stdout_buffer, _IOFBF, sizeof g_stdout_buffer);
}

TerminalProgress::~TerminalProgress() {
    if (!finished_) finish(false);
    fflush(stdout);
}

void TerminalProgress::set_total(uint64_t total) {
    std::lock_guard<std::mutex> hold(lock_);
    maximum_ = int64_t(total);
}

void TerminalProgress::add_block(uint64_t in, uint64_t out) {
    std::lock_guard<std::mutex> hold(lock_);
    position_ += int64_t(in);
    written_ += out;
    if (position_ > maximum_) position_ = maximum_;
    draw(false);
}

ProgressSink TerminalProgress::sink() { return ProgressSink{this, sink_set_maximum, sink_advance}; }

void TerminalProgress::sink_set_maximum(void* bar, int32_t maximum) {
    auto* self = static_cast<TerminalProgress*>(bar);
    std::lock_guard<std::mutex> hold(self->lock_);
    self->maximum_ = maximum;
}

void TerminalProgress::sink_advance(void* bar, int32_t delta) {
    auto* self = static_cast<TerminalProgress*>(bar);
    std::lock_guard<std::mutex> hold(self->lock_);
    self->position_ += delta;
    if (self->position_ > self->maximum_) self->position_ = self->maximum_;
    self->draw(false);
}

void TerminalProgress::finish(bool success) {
    std::lock_guard<std::mutex> hold(lock_);
    finished_ = true;
    if (success) position_ = maximum_;
    if (plain_) {
        if (plain_written_) draw(true);
        return;
    }
    draw(true);
    fputc('\n', out_);
    fflush(out_);
}

void TerminalProgress::draw(bool force) {
    const int tenths = maximum_ <= 0 ? 1000 : int(position_ * 1000 / maximum_);
    const auto now = std::chrono::steady_clock::now();
    if (plain_) {
        if (!force && now - last_draw_ < PLAIN_INTERVAL) return;
        last_draw_ = now;
        plain_written_ = true;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double mib = 1024.0 * 1024.0;
        fprintf(out_, "pack: %.1f%% %.1f MiB in, %.1f MiB out, %.1f MiB/s\n", tenths / 10.0, position_ / mib,
                written_ / mib, seconds > 0 ? position_ / mib / seconds : 0.0);
        fflush(out_);
        return;
    }
    if (!force && (tenths == last_tenths_ || now - last_draw_ < REDRAW_INTERVAL)) return;
    last_draw_ = now;
    last_tenths_ = tenths;

    char cells[BAR_CELLS + 1];
    const int filled = tenths >= 1000 ? BAR_CELLS : tenths * BAR_CELLS / 1000;
    memset(cells, '#', size_t(filled));
    memset(cells + filled, '-', size_t(BAR_CELLS - filled));
    cells[BAR_CELLS] = '\0';
    // Blank the bar's line, let the held trace through, then draw the bar below it.
    fprintf(out_, "\r%*s\r", BAR_CELLS + (bytes_ ? 50 : 10), "");
    fflush(out_);
    fflush(stdout);
    fprintf(out_, "[%s] %5.1f%%", cells, tenths / 10.0);
    if (bytes_) {
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double mib = 1024.0 * 1024.0;
        fprintf(out_, "  %.1f MiB in, %.1f MiB out, %.1f MiB/s", position_ / mib, written_ / mib,
                seconds > 0 ? position_ / mib / seconds : 0.0);
    }
    fflush(out_);
}
