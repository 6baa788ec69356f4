// The decoding pipeline: blocks decoded ahead on several threads, extracted in order, stopped at the first failure.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "container_writer.h"
#include "payload/pipeline.h"
#include "platform/thread.h"
#include "support/test_support.h"

namespace {

// Four blocks: three LZMA ones (the second 1.5 MiB, so it decodes in two steps) and a stored one.
struct Payload {
    std::vector<std::vector<uint8_t>> stored;
    std::vector<PayloadBlock> storage;
    std::vector<PayloadBlock*> blocks;
    uint32_t total = 0;

    explicit Payload(const std::vector<std::vector<uint8_t>>& streams, size_t stored_index = size_t(-1)) {
        for (size_t i = 0; i < streams.size(); ++i) {
            if (i == stored_index) {
                std::vector<uint8_t> block(BLOCK_HEADER_SIZE, 0);
                write_be32(block.data(), uint32_t(streams[i].size()));
                block[BLOCK_PROPS_OFFSET] = BLOCK_PROPS_STORED;
                block.insert(block.end(), streams[i].begin(), streams[i].end());
                stored.push_back(block);
            } else {
                stored.push_back(encode(streams[i]));
            }
            total += uint32_t(streams[i].size());
        }
        point_at_stored();
    }

    // Blocks already encoded, and their streams' total.
    struct Encoded {};
    Payload(Encoded, const std::vector<std::vector<uint8_t>>& encoded, uint32_t unpacked)
        : stored(encoded), total(unpacked) {
        point_at_stored();
    }

    void point_at_stored() {
        storage.resize(stored.size());
        for (size_t i = 0; i < stored.size(); ++i) {
            storage[i] = PayloadBlock{stored[i].data(), int32_t(stored[i].size())};
            blocks.push_back(&storage[i]);
        }
    }
};

std::vector<std::vector<uint8_t>> four_streams() {
    RecordStreamWriter second;
    second.add_dir("\\b");
    second.add_file("\\b\\big.bin", random_bytes(1572864, 11));
    return {stream_of({{"\\a.exe", "MZ a"}}), second.finish(), stream_of({{"\\c", nullptr}, {"\\c\\c.txt", "ccc"}}),
            stream_of({{"\\d.txt", "dd"}})};
}

struct Outcome {
    int status;
    std::string trace;
};

Outcome install(const PipelineLimits& limits, Payload& payload, const std::string& dir, bool verified,
                ProgressRecorder* progress) {
    const ProgressSink sink = progress->sink();
    testing::internal::CaptureStdout();
    const int status = install_payload_within(limits, dir.c_str(), payload.blocks.data(),
                                              int32_t(payload.blocks.size()), payload.total, verified, &sink);
    return {status, testing::internal::GetCapturedStdout()};
}

std::string records_part(const std::string& trace, const std::string& dir) {
    // Each block's trace: the install directory's prefixes (the last one is dir itself), then its records.
    std::string out;
    const std::string own = "mkdir " + dir.substr(0, dir.size() - 1) + "\n";
    for (size_t at = 0; (at = trace.find(own, at)) != std::string::npos;) {
        at += own.size();
        const size_t end = trace.find("extra end\n", at);
        out += trace.substr(at, end + 10 - at);
    }
    return out;
}

const PipelineLimits LIMITS[] = {
    {1, uint64_t(1) << 30},  // one decoder
    {2, 1},                  // two decoders, one block in flight at a time
    {4, uint64_t(1) << 30},  // more decoders than the machine has cores, every block at once
};

}  // namespace

TEST(Pipeline, EveryLimitGivesTheSameFilesTraceAndProgress) {
    for (const PipelineLimits& limits : LIMITS) {
        for (bool verified : {false, true}) {
            SCOPED_TRACE(std::to_string(limits.threads) + " threads, budget " + std::to_string(limits.budget) +
                         (verified ? ", followed" : ", whole blocks"));
            Payload payload(four_streams(), 3);
            ScratchDir scratch;
            const std::string dir = scratch / "inst" + native_separator();
            ProgressRecorder progress;
            const Outcome r = install(limits, payload, dir, verified, &progress);
            EXPECT_EQ(r.status, 0);
            const std::string sep(1, native_separator());
            EXPECT_EQ(records_part(r.trace, dir),
                      "start dec\nextra end\n"
                      "start dec\nmkdir " +
                          dir + sep +
                          "b\nextra end\n"
                          "start dec\nmkdir " +
                          dir + sep +
                          "c\nextra end\n"
                          "start dec\nextra end\n");
            EXPECT_EQ(read_file(dir + "a.exe"), bytes_of("MZ a"));
            EXPECT_EQ(read_file(dir + "b" + sep + "big.bin"), random_bytes(1572864, 11));
            EXPECT_EQ(read_file(dir + "c" + sep + "c.txt"), bytes_of("ccc"));
            EXPECT_EQ(read_file(dir + "d.txt"), bytes_of("dd"));
            // Streams of 18, 1572887, 24 and 16 bytes: 3 x 1572945 at the most; each block's end byte is never
            // reported (and no directory record follows a block's last file).
            EXPECT_EQ(progress.maximum(), 4718835);
            EXPECT_EQ(progress.position(), 4718831);
        }
    }
}

TEST(Pipeline, AFailedBlockStopsEverythingAfterIt) {
    for (const PipelineLimits& limits : LIMITS) {
        for (bool verified : {false, true}) {
            SCOPED_TRACE(std::to_string(limits.threads) + " threads" + (verified ? ", followed" : ""));
            Payload payload(four_streams(), 3);
            payload.storage[1].size /= 2;  // block 1's stream ends half way through its big file
            ScratchDir scratch;
            const std::string dir = scratch.path();
            ProgressRecorder progress;
            const Outcome r = install(limits, payload, dir, verified, &progress);
            EXPECT_EQ(r.status, 1);
            EXPECT_TRUE(file_exists(dir + "a.exe"));
            EXPECT_FALSE(file_exists(dir + "b" + native_separator() + "big.bin"));
            EXPECT_FALSE(dir_exists(dir + "c"));
            EXPECT_FALSE(file_exists(dir + "d.txt"));
        }
    }
}

TEST(Pipeline, AStoredBlockShorterThanItsSizeFails) {
    Payload payload(four_streams(), 3);
    payload.storage[3].size -= 1;
    ScratchDir scratch;
    ProgressRecorder progress;
    EXPECT_EQ(install(LIMITS[2], payload, scratch.path(), true, &progress).status, 1);
    EXPECT_FALSE(file_exists(scratch.path() + "d.txt"));
    EXPECT_TRUE(file_exists(scratch.path() + "a.exe"));
}

TEST(Pipeline, OneDecodingThreadWhenTheProcessMayUseOneProcessor) {
    OneProcessor one;
    ASSERT_TRUE(one.held());
    EXPECT_EQ(os_cpu_count(), 1);
    EXPECT_EQ(machine_pipeline_limits().threads, 1);
}

namespace {

// A memory that holds one block's buffer at a time, and refuses any buffer of refused_size at all. It counts the
// buffers it refused.
struct OneBlockMemory {
    std::mutex lock;
    int outstanding = 0;
    int refusals = 0;
    size_t refused_size = 0;
    BlockMemory memory{this, take, give_back};

    static unsigned char* take(void* self, size_t size) {
        auto* m = static_cast<OneBlockMemory*>(self);
        std::lock_guard<std::mutex> hold(m->lock);
        if (m->outstanding > 0 || size == m->refused_size) {
            ++m->refusals;
            return nullptr;
        }
        ++m->outstanding;
        return static_cast<unsigned char*>(malloc(size));
    }
    static void give_back(void* self, unsigned char* buffer) {
        auto* m = static_cast<OneBlockMemory*>(self);
        std::lock_guard<std::mutex> hold(m->lock);
        --m->outstanding;
        free(buffer);
    }
    int refused() {
        std::lock_guard<std::mutex> hold(m_lock());
        return refusals;
    }
    std::mutex& m_lock() { return lock; }
};

// A progress sink that holds every report until the memory has refused a buffer (at most 10 s): the block being
// decoded stays in flight while the next one asks for its buffer.
struct HeldUntilRefused {
    OneBlockMemory* memory;
    ProgressSink sink{this, [](void*, int32_t) {}, advance};
    static void advance(void* self, int32_t) {
        auto* h = static_cast<HeldUntilRefused*>(self);
        for (int i = 0; i < 1000 && h->memory->refused() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
};

Payload two_lzma_blocks() {
    return Payload({stream_of({{"\\a.exe", "MZ a"}, {"\\a.txt", "aaaa"}}), stream_of({{"\\b.txt", "bbbbbbbb"}})});
}

}  // namespace

TEST(Pipeline, ABlockWithoutMemoryWaitsForTheBlockInFlightAndThenDecodes) {
    Payload payload = two_lzma_blocks();
    OneBlockMemory memory;
    HeldUntilRefused held{&memory};
    ScratchDir scratch;
    const PipelineLimits limits{2, uint64_t(1) << 30, &memory.memory};
    testing::internal::CaptureStdout();
    ExtractFailure failure{};
    const int status = install_payload_within(limits, scratch.path().c_str(), payload.blocks.data(), 2, payload.total,
                                              true, &held.sink, &failure);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_GE(memory.refused(), 1);
    EXPECT_EQ(read_file(scratch / "a.txt"), bytes_of("aaaa"));
    EXPECT_EQ(read_file(scratch / "b.txt"), bytes_of("bbbbbbbb"));
}

TEST(Pipeline, ABlockWithoutMemoryAloneFails) {
    for (const PipelineLimits& base : LIMITS) {
        SCOPED_TRACE(std::to_string(base.threads) + " threads");
        Payload payload = two_lzma_blocks();
        OneBlockMemory memory;
        memory.refused_size = 22;  // block 1's stream: the record of "\b.txt" and its 8 bytes (21), the end record
        ScratchDir scratch;
        const PipelineLimits limits{base.threads, base.budget, &memory.memory};
        testing::internal::CaptureStdout();
        ExtractFailure failure{};
        const int status = install_payload_within(limits, scratch.path().c_str(), payload.blocks.data(), 2,
                                                  payload.total, true, nullptr, &failure);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 1);
        EXPECT_EQ(failure.what, ExtractFault::decode);
        EXPECT_EQ(failure.block, 1);
        EXPECT_EQ(read_file(scratch / "a.txt"), bytes_of("aaaa"));
        EXPECT_FALSE(file_exists(scratch / "b.txt"));
    }
}

TEST(Pipeline, AStoredBlockIsCreditedAsItsBytesAreCopied) {
    // One file of 2.5 MiB: a 13-byte head ("\m.bin"), the data, the end record; 2621454 bytes in all.
    RecordStreamWriter w;
    w.add_file("\\m.bin", random_bytes(2621440, 5));
    const std::vector<uint8_t> stream = w.finish();
    ASSERT_EQ(stream.size(), 2621454u);
    std::vector<uint8_t> block(BLOCK_HEADER_SIZE, 0);
    write_be32(block.data(), uint32_t(stream.size()));
    block[BLOCK_PROPS_OFFSET] = BLOCK_PROPS_STORED;
    block.insert(block.end(), stream.begin(), stream.end());
    ScratchDir scratch;
    const std::string installer = scratch / "setup.exe";
    ASSERT_TRUE(write_file_bytes(installer, build_installer(bytes_of("MZ"), {block}, uint32_t(stream.size()), 0)));
    int32_t count = 0;
    uint32_t total = 0;
    int flags = 0;
    PayloadBlock** blocks = read_payload_file(installer.c_str(), &count, &total, &flags);
    ASSERT_NE(blocks, nullptr);
    ProgressRecorder progress;
    const ProgressSink sink = progress.sink();
    const std::string dir = scratch / "inst" + native_separator();
    testing::internal::CaptureStdout();
    const int status = install_payload_within(LIMITS[0], dir.c_str(), blocks, count, total, false, &sink);
    testing::internal::GetCapturedStdout();
    free_payload(blocks, count);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_file(dir + "m.bin"), random_bytes(2621440, 5));
    // Twice each step copied: the head and the first MiB, a MiB, the last half MiB; then the file record's
    // extraction share; then the end record's decoding share.
    EXPECT_EQ(progress.steps(), (std::vector<int32_t>{2097178, 2097152, 1048576, 2621453, 2}));
    EXPECT_EQ(progress.maximum(), 7864362);
}

namespace {

// Block 0 holds a.exe; block 1 forty files of 64 KiB of random bytes, f00.bin to f39.bin, 65551 bytes of stream each.
std::vector<std::vector<uint8_t>> forty_file_streams() {
    RecordStreamWriter w;
    for (int i = 0; i < 40; ++i) {
        char name[16];
        snprintf(name, sizeof name, "\\f%02d.bin", i);
        w.add_file(name, random_bytes(65536, uint32_t(100 + i)));
    }
    return {stream_of({{"\\a.exe", "MZ a"}}), w.finish()};
}

std::vector<std::string> installed_files(const std::string& dir) {
    std::vector<std::string> names;
    for (const std::string& entry : list_tree(dir))
        if (entry.back() != '/') names.push_back(entry);
    return names;
}

}  // namespace

TEST(Pipeline, ABlockThatFailsToDecodeEndsTheSameWayEveryRun) {
    // Block 1 cut half way through f20.bin's data (stream offset 20.5 x 65551, which random bytes keep about the
    // same in LZMA): its decoder fails there. Followed, the records wholly before that point are written; decoded
    // whole first, none of them.
    std::vector<std::string> before_the_cut = {"a.exe"};
    for (int i = 0; i < 20; ++i) {
        char name[16];
        snprintf(name, sizeof name, "f%02d.bin", i);
        before_the_cut.push_back(name);
    }
    const std::vector<std::vector<uint8_t>> streams = forty_file_streams();
    const std::vector<std::vector<uint8_t>> encoded = {encode(streams[0]), encode(streams[1])};
    const uint32_t total = uint32_t(streams[0].size() + streams[1].size());
    std::atomic<bool> busy_done{false};
    for (int timing = 0; timing < 3; ++timing) {
        // 0: as it comes; 1: a thread spinning beside the pipeline; 2: the test kept to one processor.
        std::unique_ptr<std::thread> busy;
        std::unique_ptr<OneProcessor> one;
        busy_done = false;
        if (timing == 1)
            busy.reset(new std::thread([&] {
                volatile uint64_t spin = 0;
                while (!busy_done) ++spin;
            }));
        if (timing == 2) one.reset(new OneProcessor);
        for (const PipelineLimits& limits : LIMITS) {
            for (bool verified : {true, false}) {
                for (int run = 0; run < 2; ++run) {
                    SCOPED_TRACE("timing " + std::to_string(timing) + ", " + std::to_string(limits.threads) +
                                 " threads, budget " + std::to_string(limits.budget) + (verified ? ", followed" : "") +
                                 ", run " + std::to_string(run));
                    Payload payload(Payload::Encoded{}, encoded, total);
                    payload.storage[1].size = BLOCK_HEADER_SIZE + 1343795;
                    ScratchDir scratch;
                    testing::internal::CaptureStdout();
                    ExtractFailure failure{};
                    const int status = install_payload_within(limits, scratch.path().c_str(), payload.blocks.data(), 2,
                                                              payload.total, verified, nullptr, &failure);
                    testing::internal::GetCapturedStdout();
                    EXPECT_EQ(status, 1);
                    EXPECT_EQ(failure.what, ExtractFault::decode);
                    EXPECT_EQ(failure.block, 1);
                    EXPECT_EQ(installed_files(scratch.path()),
                              verified ? before_the_cut : std::vector<std::string>{"a.exe"});
                }
            }
        }
        busy_done = true;
        if (busy) busy->join();
    }
}
