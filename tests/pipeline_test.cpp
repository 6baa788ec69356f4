// The decoding pipeline: blocks decoded ahead on several threads, extracted in order, stopped at the first failure.
#include <gtest/gtest.h>

#include <string>
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
                      "start dec\nmkdir " + dir + sep + "b\nextra end\n"
                      "start dec\nmkdir " + dir + sep + "c\nextra end\n"
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
