// Test helpers for the vendor tool: a stand-in stub, captured command runs, installers read back.
#include "tree_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "cli.h"
#include "payload/decode.h"
#include "payload/payload.h"
#include "product/reader_mark.h"
#include "payload/records.h"
#include "signed_image.h"

namespace fs = std::filesystem;

std::vector<uint8_t> stub_bytes(int reader_revision) {
    // The headers of a PE32 image with one section, then the mark after them.
    std::vector<uint8_t> image = minimal_pe(512);
    const std::string mark = reader_revision == PAYLOAD_READER_STORED ? PAYLOAD_READER_MARK_PREFIX "1: lzma stored"
                             : reader_revision                        ? PAYLOAD_READER_MARK
                                                                      : "";
    std::copy(mark.begin(), mark.end(), image.begin() + 0x1C0);
    return image;
}

std::string make_stub(const fs::path& dir, int reader_revision) {
    const fs::path path = dir / "stub.exe";
    const std::vector<uint8_t> image = stub_bytes(reader_revision);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    return path.string();
}

const char* const CASHIER_UTF8 = u8"霁桐收银端.exe";
const char* const SERVICE_UTF8 = u8"霁桐餐饮服务.exe";

Tree with_programs(Tree tree) {
    const std::vector<uint8_t> image = minimal_pe(512);
    for (const char* program : {CASHIER_UTF8, SERVICE_UTF8}) tree[program] = std::string(image.begin(), image.end());
    return tree;
}

CliRun run_cli(const std::vector<std::string>& args) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = run_mkinstaller(args);
    CliRun run{status, testing::internal::GetCapturedStdout(), ""};
    run.err = testing::internal::GetCapturedStderr();
    return run;
}

Payload read_installer(const std::string& path) {
    Payload payload;
    int32_t count = 0;
    PayloadBlock** blocks = read_payload_file(path.c_str(), &count, &payload.total, &payload.flags);
    if (!blocks) throw std::runtime_error("unreadable installer " + path);
    for (int32_t i = 0; i < count; ++i) {
        std::vector<uint8_t> bytes(size_t(blocks[i]->size));
        if (!read_block_bytes(blocks[i], 0, bytes.data(), blocks[i]->size))
            throw std::runtime_error("unreadable block");
        payload.stored.push_back(bytes);
        unsigned char* unpacked = decode_block(bytes.data(), blocks[i]->size, nullptr);
        const uint32_t size = block_unpacked_size(bytes.data());
        if (!unpacked) throw std::runtime_error("block does not decode");
        payload.streams.emplace_back(unpacked, unpacked + size);
        free(unpacked);
    }
    free_payload(blocks, count);
    return payload;
}

std::vector<Entry> entries_of(const std::vector<uint8_t>& stream) {
    std::vector<Entry> entries;
    RecordCursor cursor;
    start_records(&cursor, stream.data(), int32_t(stream.size()));
    Record r;
    WalkResult result;
    while ((result = next_record(&cursor, &r)) == WalkResult::record)
        entries.push_back({r.type, std::string(reinterpret_cast<const char*>(r.name), r.name_len), r.data_len});
    EXPECT_EQ(result, WalkResult::end);
    return entries;
}
