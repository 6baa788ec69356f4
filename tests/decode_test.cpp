// Block decoding with streams made by the real LZMA encoder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "payload/decode.h"
#include "support/test_support.h"

namespace {

struct Decoded {
    unsigned char* data;
    explicit Decoded(const std::vector<uint8_t>& block, ProgressRecorder* progress = nullptr)
        : data(decode(block, progress)) {}
    ~Decoded() { free(data); }
    std::vector<uint8_t> first(size_t n) const { return std::vector<uint8_t>(data, data + n); }

private:
    static unsigned char* decode(const std::vector<uint8_t>& block, ProgressRecorder* progress) {
        const ProgressSink sink = progress ? progress->sink() : ProgressSink{};
        return decode_block(block.data(), int32_t(block.size()), progress ? &sink : nullptr);
    }
};

void set_unpacked_size(std::vector<uint8_t>& block, uint32_t u) {
    block[0] = uint8_t(u >> 24);
    block[1] = uint8_t(u >> 16);
    block[2] = uint8_t(u >> 8);
    block[3] = uint8_t(u);
}

std::vector<uint8_t> text_bytes(size_t n) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = uint8_t("cashier service menu order "[i % 27]);
    return out;
}

}  // namespace

TEST(DecodeBlock, RoundTripsAndAdvancesTwiceTheOutput) {
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        bool end_marker;
    } cases[] = {
        {"text, no end marker", text_bytes(300000), false},
        {"text, end marker", text_bytes(300000), true},
        {"incompressible, several steps", random_bytes(3 * 1048576 + 17, 1), false},
        {"incompressible, end marker", random_bytes(1048576 + 3, 2), true},
        {"one byte", {42}, false},
    };
    for (const Case& c : cases) {
        ProgressRecorder progress;
        Decoded d(encode(c.data, c.end_marker), &progress);
        ASSERT_NE(d.data, nullptr) << c.what;
        EXPECT_EQ(d.first(c.data.size()), c.data) << c.what;
        EXPECT_EQ(progress.position(), int64_t(2 * c.data.size())) << c.what;
    }
}

TEST(DecodeBlock, StepsOfOneMebibyte) {
    // Each step reports once, so the advances count the steps.
    struct Case {
        size_t unpacked;
        int steps;
    } cases[] = {{1048576, 1}, {1048577, 2}, {3 * 1048576, 3}};
    for (const Case& c : cases) {
        std::vector<uint8_t> block = encode(text_bytes(c.unpacked));
        ProgressRecorder progress;
        Decoded d(block, &progress);
        ASSERT_NE(d.data, nullptr);
        EXPECT_EQ(progress.advances(), c.steps) << c.unpacked;
    }
}

TEST(DecodeBlock, EmptyBlockGivesAnEmptyBuffer) {
    ProgressRecorder progress;
    Decoded d(encode({}), &progress);
    EXPECT_NE(d.data, nullptr);
    EXPECT_EQ(progress.advances(), 0);
}

TEST(DecodeBlock, PropertiesByte224IsAcceptedAnd225Refused) {
    std::vector<uint8_t> data = text_bytes(5000);
    std::vector<uint8_t> block = encode(data, false, 8, 4, 4);
    ASSERT_EQ(block[4], 224);
    Decoded good(block);
    ASSERT_NE(good.data, nullptr);
    EXPECT_EQ(good.first(data.size()), data);
    block[4] = 225;
    Decoded bad(block);
    EXPECT_EQ(bad.data, nullptr);
}

TEST(DecodeBlock, RefusesDamagedBlocks) {
    std::vector<uint8_t> data = random_bytes(200000, 3);
    const std::vector<uint8_t> block = encode(data);
    struct Case {
        const char* what;
        std::vector<uint8_t> block;
    } cases[] = {
        {"stored stream cut short", std::vector<uint8_t>(block.begin(), block.begin() + block.size() / 2)},
        {"header only", std::vector<uint8_t>(block.begin(), block.begin() + 9)},
        {"shorter than its header", std::vector<uint8_t>(block.begin(), block.begin() + 8)},
        {"unpacked size of 2 GiB",
         [&] {
             auto b = block;
             set_unpacked_size(b, 0x80000000u);
             return b;
         }()},
        {"stream longer than its data",
         [&] {
             auto b = block;
             set_unpacked_size(b, uint32_t(data.size() + 4096));
             return b;
         }()},
    };
    for (const Case& c : cases) {
        Decoded d(c.block);
        EXPECT_EQ(d.data, nullptr) << c.what;
    }
}

TEST(DecodeBlock, EndMarkerBeforeTheUnpackedSizeEndsEarlyWithZeroTail) {
    std::vector<uint8_t> data = text_bytes(10000);
    std::vector<uint8_t> block = encode(data, true);
    set_unpacked_size(block, 10000 + 500);
    Decoded d(block);
    ASSERT_NE(d.data, nullptr);
    EXPECT_EQ(d.first(10000), data);
    EXPECT_EQ(std::vector<uint8_t>(d.data + 10000, d.data + 10500), std::vector<uint8_t>(500, 0));
}

TEST(DecodeBlock, DataAfterTheUnpackedSizeIsNotAFailure) {
    std::vector<uint8_t> data = random_bytes(50000, 4);
    std::vector<uint8_t> block = encode(data);
    set_unpacked_size(block, 40000);
    Decoded d(block);
    ASSERT_NE(d.data, nullptr);
    EXPECT_EQ(d.first(40000), std::vector<uint8_t>(data.begin(), data.begin() + 40000));
}

TEST(DecodeBlock, StoredBlocksAreCopiedInStepsWithTheSameProgress) {
    const std::vector<uint8_t> body = random_bytes(2 * 1048576 + 5, 6);
    std::vector<uint8_t> block = {0x00, 0x20, 0x00, 0x05, 0xFF, 0x00, 0x00, 0x00, 0x00};  // U = 2097157, stored
    block.insert(block.end(), body.begin(), body.end());
    ProgressRecorder progress;
    Decoded d(block, &progress);
    ASSERT_NE(d.data, nullptr);
    EXPECT_EQ(d.first(body.size()), body);
    EXPECT_EQ(progress.position(), 4194314);
    EXPECT_EQ(progress.advances(), 3);

    std::vector<uint8_t> cut(block.begin(), block.end() - 1);  // the body one byte short of U
    Decoded short_body(cut);
    EXPECT_EQ(short_body.data, nullptr);
}
