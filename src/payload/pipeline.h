// The decoding pipeline's limits, which install_payload takes from the machine and tests may set.
#pragma once
#include <cstdint>

#include "payload/extract.h"

// Where the pipeline takes its blocks' buffers from. take gives a buffer of size bytes, or null when there is no
// memory for it now; give_back releases one it gave. Called from any thread, one at a time (under the pipeline's
// lock). Tests put in a smaller memory; null: alloc_block_buffer and free.
struct BlockMemory {
    void* context;
    unsigned char* (*take)(void* context, size_t size);
    void (*give_back)(void* context, unsigned char* buffer);
};

struct PipelineLimits {
    int threads;      // decoding threads, at least 1
    uint64_t budget;  // bytes of the buffers of blocks in flight; a block larger than it is decoded alone
    const BlockMemory* memory = nullptr;
};

// The most unpacked bytes of blocks in flight on any machine.
constexpr uint64_t PIPELINE_BUDGET_CAP = uint64_t(128) << 20;

// The machine's limits: one decoding thread per processor; a budget of PIPELINE_BUDGET_CAP, or a quarter of the
// physical memory when that is less, so that old terminals and the 32-bit installer's address space are not
// overrun.
PipelineLimits machine_pipeline_limits();

// install_payload with the given limits.
int install_payload_within(const PipelineLimits& limits, const char* install_dir, PayloadBlock** blocks,
                           int32_t count, uint32_t total_unpacked, bool verified, const ProgressSink* progress,
                           ExtractFailure* failure = nullptr);
