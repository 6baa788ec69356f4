// A text progress bar on a terminal, drawn as one line: the extraction's progress sink, and pack's blocks.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>

#include "payload/progress.h"

// While alive: sink() takes the extraction's maximum and advances (from any thread: the decoding threads
// report too, and a lock keeps the bar one line), and the bar is redrawn on out at most
// every few hundredths of a second and when its tenth of a percent changes. Before each redraw the trace
// held on stdout is released, so the bar always stays on the last line.
class TerminalProgress {
public:
    // With bytes, the bar is followed by the bytes read and written so far and the rate (pack's line).
    // With plain (for a pipe or file: a CI log), no bar: a line of its own, flushed, every PLAIN_INTERVAL
    // ("pack: 34.5% 26.2 MiB in, 9.1 MiB out, 5.2 MiB/s"), and at the finish only when one was written before,
    // so a short run stays silent.
    explicit TerminalProgress(FILE* out, bool bytes = false, bool plain = false);
    // Shows the bar full on success, leaves it where it stopped otherwise; ends its line. The destructor
    // does this (as a failure) when nobody did.
    void finish(bool success);
    ~TerminalProgress();

    // Pack: the bytes to read in all, then each block as it is done (from any thread): bytes in, bytes out.
    void set_total(uint64_t total);
    void add_block(uint64_t in, uint64_t out);

    // The sink for install_payload; valid while this object lives.
    ProgressSink sink();

    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

private:
    static void sink_set_maximum(void* bar, int32_t maximum);
    static void sink_advance(void* bar, int32_t delta);
    void draw(bool force);

    std::mutex lock_;
    FILE* out_;
    bool bytes_;
    bool plain_;
    bool plain_written_ = false;
    bool finished_ = false;
    int64_t maximum_ = 100;
    int64_t position_ = 0;
    uint64_t written_ = 0;
    std::chrono::steady_clock::time_point start_;
    int last_tenths_ = -1;
    std::chrono::steady_clock::time_point last_draw_{};
};
