// The engine's progress sink: where decoding and extraction report their work, for whoever shows it.
#pragma once
#include <cstdint>

// Functions of whoever shows the progress (the installer window's meter, the tool's terminal bar, a test),
// each handed the sink's context. The engine sets the maximum once per installation, then advances by what
// each step did. A null sink pointer means nobody is watching: nothing is reported.
struct ProgressSink {
    void* context;
    void (*set_maximum)(void* context, int32_t maximum);
    void (*advance)(void* context, int32_t delta);
};

inline void progress_set_maximum(const ProgressSink* sink, int32_t maximum) {
    if (sink) sink->set_maximum(sink->context, maximum);
}
inline void progress_advance(const ProgressSink* sink, int32_t delta) {
    if (sink) sink->advance(sink->context, delta);
}
