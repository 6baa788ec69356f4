// The decoding pipeline: install_payload, which decodes blocks ahead on every core and extracts them in order, and its
// limits.
#pragma once
#include <cstdint>

#include "payload/extract.h"

// Sets progress's maximum to 3 x total (clamped to the 32-bit range), then reads and decodes the blocks ahead on
// as many threads as the process may use processors, within a budget of buffer bytes in flight, and extracts their
// records on the calling thread strictly in block order (the trace as one block after another). A block given
// where it lies (read_payload) is read from the installer when a thread claims it, through a window of DECODE_STEP
// bytes, and its buffers are released as soon as its records are written; a block whose buffers cannot be had
// waits while other blocks are in flight and tries again after each is released, and fails only alone. When
// verified (the blocks' CRC-32 matched the checksum table) extraction follows each decoder through its block;
// otherwise a block is decoded whole before any of its records is written. Stored blocks are copied from where
// they lie as their records are written. Decoding advances progress by twice the bytes it produces (from the
// decoding threads: the sink must take calls from any thread), a stored block by twice the bytes copied, at each
// step of file data written (at most DECODE_STEP bytes), and extraction by the stream bytes up to each file or
// piece record; progress may be null.
// A block that fails to decode ends the same way on every run: followed, the records lying wholly within the
// bytes its decoder made final before the failing step are written, and no other; decoded whole, none of them.
// The first failure, in block order, returns EXTRACT_FAILED: no record of a later block is written, every
// thread is joined and every buffer released, a file spanning blocks that is not finished is removed (and so is
// one whose last piece never comes); what was written stays. The blocks stay the caller's.
// EXTRACT_OK also when count <= 0. failure, when not null, receives what failed (see ExtractFailure).
// install_dir is UTF-8 (see platform/os.h) and ends with a separator.
int install_payload(const char* install_dir, PayloadBlock** blocks, int32_t count, uint32_t total_unpacked,
                    bool verified, const ProgressSink* progress, ExtractFailure* failure = nullptr);

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
int install_payload_within(const PipelineLimits& limits, const char* install_dir, PayloadBlock** blocks, int32_t count,
                           uint32_t total_unpacked, bool verified, const ProgressSink* progress,
                           ExtractFailure* failure = nullptr);
