// Blocks read and decoded ahead on several threads within a memory budget, extracted in order on the calling thread.
#include "payload/pipeline.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "payload/decode.h"
#include "platform/thread.h"

namespace {

// UNCLAIMED until a thread takes the block; NO_BUFFER when it could not be prepared (nothing of it is extracted);
// FAILED when its decoding failed (what it published before stays final) or a stored block could not be read.
enum JobState { UNCLAIMED, DECODING, DECODED, FAILED, NO_BUFFER };

struct Job {
    const PayloadBlock* block;
    bool whole_header;
    uint32_t unpacked;
    bool stored;
    uint64_t need;               // bytes of buffers it takes while in flight
    unsigned char* buffer;       // the decoder's output (LZMA)
    unsigned char* window;       // DECODE_STEP bytes: the input of an LZMA block, or the copy of a stored block's
                                 // bytes, read from the installer (null for a block in memory)
    std::atomic<int32_t> ready;  // bytes of the output that are final
    JobState state;              // under the monitor
    int32_t window_start;        // a stored block's bytes in window (extraction's thread only)
    int32_t window_length;
};

struct Pipeline {
    OsMonitor* monitor;
    Job* jobs;
    int32_t count;
    uint64_t budget;
    const BlockMemory* memory;
    const ProgressSink* progress;
    // Under the monitor:
    int32_t next_claim;  // the next block a decoder takes; count once a block has failed
    uint64_t in_flight;  // buffer bytes of the blocks claimed and not yet released
    int32_t held;        // blocks claimed and not yet released
    uint64_t releases;   // blocks released so far: a block waiting for memory tries again after each
    int32_t extracting;  // the block extraction is on: always allowed, so the pipeline cannot stall
    bool stop;           // extraction failed: decoders give up
};

unsigned char* take(Pipeline* p, size_t size) {
    return p->memory ? p->memory->take(p->memory->context, size) : alloc_block_buffer(size);
}

void give_back(Pipeline* p, unsigned char*& buffer) {
    if (buffer) {
        if (p->memory) p->memory->give_back(p->memory->context, buffer);
        else free(buffer);
    }
    buffer = nullptr;
}

enum Prepared { READY, NO_MEMORY, BROKEN };

// Gives a claimed block the buffers it is read and decoded with, before anyone may look.
Prepared prepare(Pipeline* p, Job& job) {
    const PayloadBlock* block = job.block;
    if (!job.whole_header || job.unpacked > uint32_t(INT32_MAX)) return BROKEN;
    if (job.stored && uint32_t(block->size - BLOCK_HEADER_SIZE) < job.unpacked) return BROKEN;
    if (!block->data) {
        job.window = take(p, DECODE_STEP);
        if (!job.window) return NO_MEMORY;
    }
    if (job.stored) return READY;
    job.buffer = take(p, job.unpacked);
    if (job.buffer) return READY;
    give_back(p, job.window);
    return NO_MEMORY;
}

// Claims the next block when the budget allows it (or nothing else is in flight, or extraction waits for it).
// Called holding the monitor; -1 when there is nothing more to claim. A block whose buffers cannot be had waits
// while other blocks are in flight, and tries again each time one is released; alone, it is claimed as
// NO_BUFFER, as is a block that cannot be prepared at all: nothing after it will be decoded.
int32_t claim_next(Pipeline* p) {
    for (;;) {
        if (p->stop || p->next_claim >= p->count) return -1;
        Job& job = p->jobs[p->next_claim];
        if (p->in_flight == 0 || p->in_flight + job.need <= p->budget || p->next_claim == p->extracting) {
            const Prepared prepared = prepare(p, job);
            if (prepared == READY) {
                p->in_flight += job.need;
                ++p->held;
                job.state = job.stored ? DECODED : DECODING;
                os_monitor_wake_all(p->monitor);
                return p->next_claim++;
            }
            if (prepared == NO_MEMORY && p->held > 0) {
                const uint64_t seen = p->releases;
                while (p->releases == seen && !p->stop) os_monitor_wait(p->monitor);
                continue;
            }
            job.state = NO_BUFFER;
            p->next_claim = p->count;
            os_monitor_wake_all(p->monitor);
            return -1;
        }
        os_monitor_wait(p->monitor);
    }
}

// One block of the pipeline, as the decoder's watch and extraction's source see it.
struct JobRef {
    Pipeline* pipeline;
    Job* job;
};

// After each decoder step: publish what is final and wake extraction; stop when extraction has failed.
bool on_step(void* context, uint32_t ready) {
    auto* step = static_cast<JobRef*>(context);
    os_monitor_enter(step->pipeline->monitor);
    step->job->ready.store(int32_t(ready), std::memory_order_release);
    const bool go_on = !step->pipeline->stop;
    os_monitor_wake_all(step->pipeline->monitor);
    os_monitor_leave(step->pipeline->monitor);
    return go_on;
}

void run_decoder(Pipeline* p, int32_t index) {
    Job& job = p->jobs[index];
    if (job.stored) return;  // copied by extraction from where it lies
    JobRef step{p, &job};
    const DecodeWatch watch{&step, on_step};
    const bool ok = decode_block_into(job.block, job.buffer, job.window, p->progress, &watch);
    os_monitor_enter(p->monitor);
    if (ok) {
        job.ready.store(int32_t(job.unpacked), std::memory_order_release);
        job.state = DECODED;
    } else {
        job.state = FAILED;
        p->next_claim = p->count;  // later blocks will not be extracted: nothing more to decode
    }
    // The input window is not needed after the last step.
    give_back(p, job.window);
    os_monitor_wake_all(p->monitor);
    os_monitor_leave(p->monitor);
}

void decoder_thread(void* context) {
    auto* p = static_cast<Pipeline*>(context);
    for (;;) {
        os_monitor_enter(p->monitor);
        const int32_t index = claim_next(p);
        os_monitor_leave(p->monitor);
        if (index < 0) return;
        run_decoder(p, index);
    }
}

// Waits until at least need bytes of a decoded block are final, or its decoding has ended; gives how many are.
// A failed decode leaves what it published before it failed: the point up to which extraction goes on is the
// same on every run, however the threads were timed.
int32_t wait_for_bytes(JobRef* follow, int32_t need) {
    Pipeline* p = follow->pipeline;
    os_monitor_enter(p->monitor);
    while (follow->job->ready.load(std::memory_order_acquire) < need && follow->job->state == DECODING)
        os_monitor_wait(p->monitor);
    const int32_t ready = follow->job->ready.load(std::memory_order_acquire);
    os_monitor_leave(p->monitor);
    return ready;
}

// StreamSource::view over a block's decoder output.
int32_t view_decoded(void* context, int32_t at, int32_t need, const unsigned char** bytes) {
    auto* follow = static_cast<JobRef*>(context);
    *bytes = follow->job->buffer + at;
    const int32_t ready = wait_for_bytes(follow, at + need);
    return ready > at ? ready - at : 0;
}

// StreamSource::view over a stored block: its body where it lies in memory, or a window of it read from the
// installer at the walk's place.
int32_t view_stored(void* context, int32_t at, int32_t need, const unsigned char** bytes) {
    auto* ref = static_cast<JobRef*>(context);
    Job& job = *ref->job;
    const int32_t length = int32_t(job.unpacked);
    if (at >= length) return 0;
    if (job.block->data) {
        *bytes = job.block->data + BLOCK_HEADER_SIZE + at;
        return length - at;
    }
    if (at < job.window_start || int64_t(at) + need > int64_t(job.window_start) + job.window_length) {
        const int32_t step = length - at < int32_t(DECODE_STEP) ? length - at : int32_t(DECODE_STEP);
        if (!read_block_bytes(job.block, BLOCK_HEADER_SIZE + at, job.window, step)) {
            os_monitor_enter(ref->pipeline->monitor);
            job.state = FAILED;
            os_monitor_leave(ref->pipeline->monitor);
            job.window_length = 0;
            return 0;
        }
        job.window_start = at;
        job.window_length = step;
    }
    *bytes = job.window + (at - job.window_start);
    return job.window_start + job.window_length - at;
}

// Waits until block index is claimed, and when it is not to be followed, until it is decoded. True when its
// records can be walked: a followed block that failed is walked up to the bytes its decoder made final.
bool await_block(Pipeline* p, int32_t index, bool follow) {
    os_monitor_enter(p->monitor);
    p->extracting = index;
    os_monitor_wake_all(p->monitor);
    Job& job = p->jobs[index];
    while (job.state == UNCLAIMED || (!follow && job.state == DECODING)) os_monitor_wait(p->monitor);
    const bool usable = job.state == DECODED || (follow && job.state != NO_BUFFER);
    os_monitor_leave(p->monitor);
    return usable;
}

void release_block(Pipeline* p, Job& job) {
    os_monitor_enter(p->monitor);
    give_back(p, job.buffer);
    give_back(p, job.window);
    p->in_flight -= job.need;
    --p->held;
    ++p->releases;
    os_monitor_wake_all(p->monitor);
    os_monitor_leave(p->monitor);
}

// The failing block's fault, decode when it could not be decoded or read, which a walk may have seen first as a
// stream cut short; failure, when not null, receives it with the block's index.
ExtractFault block_failed(Pipeline* p, int32_t index, ExtractFault fault, ExtractFailure* failure) {
    os_monitor_enter(p->monitor);
    const JobState state = p->jobs[index].state;
    os_monitor_leave(p->monitor);
    if (state == FAILED || state == NO_BUFFER) fault = ExtractFault::decode;
    if (!failure) return fault;
    if (fault == ExtractFault::decode) {
        memset(failure, 0, sizeof *failure);
        failure->what = ExtractFault::decode;
    }
    failure->block = index;
    return fault;
}

ExtractFault extract_blocks(Pipeline* p, const char* install_dir, bool verified, bool inline_decoding,
                            WrittenFile* spanning, ExtractFailure* failure) {
    for (int32_t i = 0; i < p->count; ++i) {
        Job& job = p->jobs[i];
        // Without a thread of its own, each block is decoded here, whole, before its records.
        if (inline_decoding) {
            os_monitor_enter(p->monitor);
            p->extracting = i;
            const int32_t claimed = claim_next(p);
            os_monitor_leave(p->monitor);
            if (claimed == i) run_decoder(p, i);
        }
        const bool follow = verified && !job.stored;
        if (!await_block(p, i, follow)) {
            finish_spanning(spanning);
            return block_failed(p, i, ExtractFault::decode, failure);
        }
        JobRef context{p, &job};
        const StreamSource source{int32_t(job.unpacked), job.stored ? view_stored : view_decoded, &context, job.stored};
        const ExtractFault fault = extract_from(source, install_dir, p->progress, spanning, failure);
        if (fault != ExtractFault::none) return block_failed(p, i, fault, failure);
        // A followed block must also decode to its end, as a whole block would have: a failure after its last
        // record still fails the installation.
        if (follow && wait_for_bytes(&context, int32_t(job.unpacked)) != int32_t(job.unpacked)) {
            finish_spanning(spanning);
            return block_failed(p, i, ExtractFault::decode, failure);
        }
        release_block(p, job);
    }
    const ExtractFault fault = finish_spanning(spanning, failure);
    if (fault != ExtractFault::none && failure) failure->block = p->count - 1;
    return fault;
}

}  // namespace

PipelineLimits machine_pipeline_limits() {
    const uint64_t quarter = os_physical_memory() / 4;
    return PipelineLimits{os_cpu_count(), quarter > 0 && quarter < PIPELINE_BUDGET_CAP ? quarter : PIPELINE_BUDGET_CAP};
}

int install_payload_within(const PipelineLimits& limits, const char* install_dir, PayloadBlock** blocks, int32_t count,
                           uint32_t total_unpacked, bool verified, const ProgressSink* progress,
                           ExtractFailure* failure) {
    // 3 x total in 64 bits: a larger total than the format allows must not wrap to a negative range.
    const int64_t range = int64_t(total_unpacked) * 3;
    progress_set_maximum(progress, range > INT32_MAX ? INT32_MAX : int32_t(range));
    if (count <= 0) return EXTRACT_OK;

    Pipeline p{};
    p.monitor = os_monitor_new();
    // calloc and placement new rather than new[]: an array new of a run-time count can throw, and the installer
    // links no C++ exception runtime.
    p.jobs = static_cast<Job*>(calloc(size_t(count), sizeof(Job)));
    for (int32_t i = 0; p.jobs && i < count; ++i) new (&p.jobs[i]) Job();
    auto* spanning = static_cast<WrittenFile*>(calloc(1, sizeof(WrittenFile)));
    if (!p.monitor || !p.jobs || !spanning) {
        if (p.monitor) os_monitor_free(p.monitor);
        free(p.jobs);
        free(spanning);
        if (failure) failure->what = ExtractFault::decode;  // no memory to decode with
        return EXTRACT_FAILED;
    }
    p.count = count;
    p.budget = limits.budget;
    p.memory = limits.memory;
    p.progress = progress;
    for (int32_t i = 0; i < count; ++i) {
        Job& job = p.jobs[i];
        job.block = blocks[i];
        unsigned char header[BLOCK_HEADER_SIZE];
        job.whole_header =
            blocks[i]->size >= BLOCK_HEADER_SIZE && read_block_bytes(blocks[i], 0, header, BLOCK_HEADER_SIZE);
        job.unpacked = job.whole_header ? block_unpacked_size(header) : 0;
        job.stored = job.whole_header && block_properties(header) == BLOCK_PROPS_STORED;
        // A block read from the installer takes a window of DECODE_STEP bytes besides its output.
        job.need = (job.stored ? 0 : job.unpacked) + (blocks[i]->data ? 0 : DECODE_STEP);
        job.buffer = nullptr;
        job.window = nullptr;
        job.ready.store(0, std::memory_order_relaxed);
        job.state = UNCLAIMED;
        job.window_start = 0;
        job.window_length = 0;
    }

    const int wanted = limits.threads < count ? limits.threads : int(count);
    OsThread** threads = static_cast<OsThread**>(calloc(size_t(wanted > 0 ? wanted : 1), sizeof(OsThread*)));
    int started = 0;
    for (int t = 0; threads && t < wanted; ++t)
        if ((threads[started] = os_thread_start(decoder_thread, &p))) ++started;

    const int status = extract_status(extract_blocks(&p, install_dir, verified, started == 0, spanning, failure));

    os_monitor_enter(p.monitor);
    p.stop = true;
    p.next_claim = p.count;
    os_monitor_wake_all(p.monitor);
    os_monitor_leave(p.monitor);
    for (int t = 0; t < started; ++t) os_thread_join(threads[t]);
    free(threads);
    for (int32_t i = 0; i < count; ++i) {
        give_back(&p, p.jobs[i].buffer);
        give_back(&p, p.jobs[i].window);
    }
    free(p.jobs);  // a Job has nothing to destroy
    free(spanning);
    os_monitor_free(p.monitor);
    return status;
}

int install_payload(const char* install_dir, PayloadBlock** blocks, int32_t count, uint32_t total_unpacked,
                    bool verified, const ProgressSink* progress, ExtractFailure* failure) {
    return install_payload_within(machine_pipeline_limits(), install_dir, blocks, count, total_unpacked, verified,
                                  progress, failure);
}
