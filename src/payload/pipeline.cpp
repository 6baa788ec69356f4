// Blocks decoded ahead on several threads within a memory budget, extracted in order on the calling thread.
#include "payload/pipeline.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "payload/decode.h"
#include "platform/thread.h"

namespace {

enum JobState { UNCLAIMED, DECODING, DECODED, FAILED };

struct Job {
    const PayloadBlock* block;
    uint32_t unpacked;
    bool stored;
    unsigned char* buffer;        // the decoder's output, owned here (null for a stored block)
    const unsigned char* stream;  // what extraction reads: buffer, or a stored block's body where it lies
    std::atomic<int32_t> ready;   // bytes of stream that are final
    JobState state;               // under the monitor
};

struct Pipeline {
    OsMonitor* monitor;
    Job* jobs;
    int32_t count;
    uint64_t budget;
    const ProgressSink* progress;
    // Under the monitor:
    int32_t next_claim;   // the next block a decoder takes; count once a block has failed
    uint64_t in_flight;   // unpacked bytes of the blocks claimed and not yet released
    int32_t extracting;   // the block extraction is on: always allowed, so the pipeline cannot stall
    bool stop;            // extraction failed: decoders give up
};

// Gives a claimed block what extraction will read, before anyone may look: a buffer for an LZMA block, the body
// where it lies for a stored one. False when there is none (no memory, a header or body cut short).
bool prepare(Job& job) {
    if (job.block->size < BLOCK_HEADER_SIZE || job.unpacked > uint32_t(INT32_MAX)) return false;
    if (job.stored) {
        if (uint32_t(job.block->size - BLOCK_HEADER_SIZE) < job.unpacked) return false;
        job.stream = job.block->data + BLOCK_HEADER_SIZE;
        return true;
    }
    job.buffer = alloc_block_buffer(job.unpacked);
    job.stream = job.buffer;
    return job.buffer != nullptr;
}

// Claims the next block when the budget allows it (or nothing else is in flight, or extraction waits for it).
// Called holding the monitor; -1 when there is nothing more to claim. A block that cannot be prepared is
// claimed as failed: nothing after it will be decoded.
int32_t claim_next(Pipeline* p) {
    for (;;) {
        if (p->stop || p->next_claim >= p->count) return -1;
        Job& job = p->jobs[p->next_claim];
        const uint64_t need = job.stored ? 0 : job.unpacked;
        if (p->in_flight == 0 || p->in_flight + need <= p->budget || p->next_claim == p->extracting) {
            p->in_flight += need;
            const int32_t index = p->next_claim++;
            if (prepare(job)) {
                job.state = DECODING;
                return index;
            }
            job.state = FAILED;
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

// A stored block needs no decoding: its body is the stream. Its progress is counted as a decode's would be.
void pass_stored(Pipeline* p, const Job& job) {
    for (uint32_t done = 0; done < job.unpacked;) {
        const uint32_t step = job.unpacked - done < DECODE_STEP ? job.unpacked - done : DECODE_STEP;
        done += step;
        progress_advance(p->progress, int32_t(2 * step));
    }
}

bool decode_job(Pipeline* p, Job& job) {
    if (job.stored) {
        pass_stored(p, job);
        return true;
    }
    JobRef step{p, &job};
    const DecodeWatch watch{&step, on_step};
    return decode_block_into(job.block->data, job.block->size, job.buffer, p->progress, &watch);
}

void run_decoder(Pipeline* p, int32_t index) {
    Job& job = p->jobs[index];
    const bool ok = decode_job(p, job);
    os_monitor_enter(p->monitor);
    if (ok) {
        job.ready.store(int32_t(job.unpacked), std::memory_order_release);
        job.state = DECODED;
    } else {
        job.state = FAILED;
        p->next_claim = p->count;  // later blocks will not be extracted: nothing more to decode
    }
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

// StreamSource::wait_for over a block being decoded.
int32_t wait_for_bytes(void* context, int32_t need) {
    auto* follow = static_cast<JobRef*>(context);
    Pipeline* p = follow->pipeline;
    os_monitor_enter(p->monitor);
    while (follow->job->ready.load(std::memory_order_acquire) < need && follow->job->state == DECODING)
        os_monitor_wait(p->monitor);
    const int32_t ready = follow->job->state == FAILED ? 0 : follow->job->ready.load(std::memory_order_acquire);
    os_monitor_leave(p->monitor);
    return ready;
}

// Waits until block index is claimed, and when it is not to be followed, until it is decoded. True when it can
// be extracted (it may still fail while being followed).
bool await_block(Pipeline* p, int32_t index, bool follow) {
    os_monitor_enter(p->monitor);
    p->extracting = index;
    os_monitor_wake_all(p->monitor);
    Job& job = p->jobs[index];
    while (job.state == UNCLAIMED || (!follow && job.state == DECODING)) os_monitor_wait(p->monitor);
    const bool usable = job.state != FAILED;
    os_monitor_leave(p->monitor);
    return usable;
}

void release_block(Pipeline* p, Job& job) {
    os_monitor_enter(p->monitor);
    free(job.buffer);
    job.buffer = nullptr;
    if (!job.stored) p->in_flight -= job.unpacked;
    os_monitor_wake_all(p->monitor);
    os_monitor_leave(p->monitor);
}

// The failing block's index, and DECODE when its decoding failed, which a followed walk may have seen first
// as a stream cut short.
int block_failed(Pipeline* p, int32_t index, int what, ExtractFailure* failure) {
    if (!failure) return EXTRACT_FAILED;
    os_monitor_enter(p->monitor);
    const bool decode_failed = p->jobs[index].state == FAILED;
    os_monitor_leave(p->monitor);
    if (decode_failed || what == EXTRACT_FAILED_DECODE) {
        memset(failure, 0, sizeof *failure);
        failure->what = EXTRACT_FAILED_DECODE;
    }
    failure->block = index;
    return EXTRACT_FAILED;
}

int extract_blocks(Pipeline* p, const char* install_dir, bool verified, bool inline_decoding, ExtractFailure* failure) {
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
        if (!await_block(p, i, follow)) return block_failed(p, i, EXTRACT_FAILED_DECODE, failure);
        JobRef context{p, &job};
        const StreamSource source{job.stream, int32_t(job.unpacked), follow ? wait_for_bytes : nullptr, &context};
        if (extract_from(source, install_dir, p->progress, failure) != EXTRACT_OK)
            return block_failed(p, i, failure ? failure->what : 0, failure);
        // A followed block must also decode to its end, as a whole block would have: a failure after its last
        // record still fails the installation.
        if (follow && wait_for_bytes(&context, int32_t(job.unpacked)) != int32_t(job.unpacked))
            return block_failed(p, i, EXTRACT_FAILED_DECODE, failure);
        release_block(p, job);
    }
    return EXTRACT_OK;
}

}  // namespace

PipelineLimits machine_pipeline_limits() {
    const uint64_t quarter = os_physical_memory() / 4;
    return PipelineLimits{os_cpu_count(), quarter > 0 && quarter < PIPELINE_BUDGET_CAP ? quarter : PIPELINE_BUDGET_CAP};
}

int install_payload_within(const PipelineLimits& limits, const char* install_dir, PayloadBlock** blocks,
                           int32_t count, uint32_t total_unpacked, bool verified, const ProgressSink* progress,
                           ExtractFailure* failure) {
    // 3 x total in 64 bits: a larger total than the format allows must not wrap to a negative range.
    const int64_t range = int64_t(total_unpacked) * 3;
    progress_set_maximum(progress, range > INT32_MAX ? INT32_MAX : int32_t(range));
    if (count <= 0) return EXTRACT_OK;

    Pipeline p{};
    p.monitor = os_monitor_new();
    p.jobs = new (std::nothrow) Job[size_t(count)];
    if (!p.monitor || !p.jobs) {
        if (p.monitor) os_monitor_free(p.monitor);
        delete[] p.jobs;
        if (failure) failure->what = EXTRACT_FAILED_DECODE;  // no memory to decode with
        return EXTRACT_FAILED;
    }
    p.count = count;
    p.budget = limits.budget;
    p.progress = progress;
    for (int32_t i = 0; i < count; ++i) {
        Job& job = p.jobs[i];
        job.block = blocks[i];
        const bool whole_header = blocks[i]->size >= BLOCK_HEADER_SIZE;
        job.unpacked = whole_header ? block_unpacked_size(blocks[i]->data) : 0;
        job.stored = whole_header && block_properties(blocks[i]->data) == BLOCK_PROPS_STORED;
        job.buffer = nullptr;
        job.stream = nullptr;
        job.ready.store(0, std::memory_order_relaxed);
        job.state = UNCLAIMED;
    }

    const int wanted = limits.threads < count ? limits.threads : int(count);
    OsThread** threads = static_cast<OsThread**>(calloc(size_t(wanted > 0 ? wanted : 1), sizeof(OsThread*)));
    int started = 0;
    for (int t = 0; threads && t < wanted; ++t)
        if ((threads[started] = os_thread_start(decoder_thread, &p))) ++started;

    const int status = extract_blocks(&p, install_dir, verified, started == 0, failure);

    os_monitor_enter(p.monitor);
    p.stop = true;
    p.next_claim = p.count;
    os_monitor_wake_all(p.monitor);
    os_monitor_leave(p.monitor);
    for (int t = 0; t < started; ++t) os_thread_join(threads[t]);
    free(threads);
    for (int32_t i = 0; i < count; ++i) free(p.jobs[i].buffer);
    delete[] p.jobs;
    os_monitor_free(p.monitor);
    return status;
}

int install_payload(const char* install_dir, PayloadBlock** blocks, int32_t count, uint32_t total_unpacked,
                    bool verified, const ProgressSink* progress, ExtractFailure* failure) {
    return install_payload_within(machine_pipeline_limits(), install_dir, blocks, count, total_unpacked, verified,
                                  progress, failure);
}
