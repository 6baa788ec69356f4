// Payload container: trailer and directory checks, block loading, the shipped layout.
#include <gtest/gtest.h>

#include <cstring>

#include "container_writer.h"
#include "payload/payload.h"
#include "support/test_support.h"

namespace {

struct Loaded {
    PayloadBlock** blocks = nullptr;
    int32_t count = -1;
    uint32_t total = 0;
    int flags = -1;
    ~Loaded() { free_payload(blocks, count); }
};

void put_be32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x >> 24);
    v[at + 1] = uint8_t(x >> 16);
    v[at + 2] = uint8_t(x >> 8);
    v[at + 3] = uint8_t(x);
}

// A small valid installer: 100-byte stub and two blocks of opaque bytes.
std::vector<uint8_t> small_installer(uint8_t flags = 0) {
    std::vector<uint8_t> stub(100, 'M');
    return build_installer(stub, {std::vector<uint8_t>(30, 1), std::vector<uint8_t>(50, 2)}, 12345, flags);
}

bool load(const ScratchDir& dir, const std::vector<uint8_t>& file, Loaded* out) {
    std::string path = dir / "setup.exe";
    EXPECT_TRUE(write_file_bytes(path, file));
    out->blocks = read_payload_file(path.c_str(), &out->count, &out->total, &out->flags);
    return out->blocks != nullptr;
}

}  // namespace

TEST(PayloadContainer, ReadsBlocksTotalAndFlags) {
    ScratchDir dir;
    Loaded l;
    ASSERT_TRUE(load(dir, small_installer(0xA5), &l));
    ASSERT_EQ(l.count, 2);
    EXPECT_EQ(l.total, 12345u);
    EXPECT_EQ(l.flags, 0xA5);
    EXPECT_EQ(l.blocks[0]->size, 30);
    EXPECT_EQ(l.blocks[1]->size, 50);
    // Not loaded: each block is read from the installer when it is used.
    EXPECT_EQ(l.blocks[0]->data, nullptr);
    EXPECT_EQ(l.blocks[1]->data, nullptr);
    EXPECT_EQ(block_bytes(l.blocks[0]), std::vector<uint8_t>(30, 1));
    EXPECT_EQ(block_bytes(l.blocks[1]), std::vector<uint8_t>(50, 2));
}

TEST(PayloadContainer, ReadsTheShippedLayout) {
    // An installer of 38827560 bytes whose last 25 bytes are the shipped directory and trailer.
    const uint8_t tail[25] = {0x00, 0x0D, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x32, 0xBF, 0x3B, 0x02,
                              0x10, 0x16, 0xD4, 0x02, 0x50, 0x76, 0x0F, 0x09, 0xC5, 0x2F, 0x3E, 0x00};
    std::vector<uint8_t> file(38827560);
    for (size_t i = 0; i < file.size(); ++i) file[i] = uint8_t(i * 7 + (i >> 13));
    memcpy(file.data() + file.size() - 25, tail, 25);
    ScratchDir dir;
    Loaded l;
    ASSERT_TRUE(load(dir, file, &l));
    ASSERT_EQ(l.count, 2);
    EXPECT_EQ(l.blocks[0]->size, 3325755);
    EXPECT_EQ(l.blocks[1]->size, 34608852);
    EXPECT_EQ(l.total, 163917630u);
    EXPECT_EQ(l.flags, 0);
    EXPECT_EQ(0, memcmp(block_bytes(l.blocks[0]).data(), file.data() + 892928, 3325755));
    EXPECT_EQ(0, memcmp(block_bytes(l.blocks[1]).data(), file.data() + 892928 + 3325755, 34608852));
}

TEST(PayloadContainer, TrailerAndDirectoryBounds) {
    // Each case edits a valid installer (stub 100, blocks 30 + 50, directory at 180, 25 bytes of tail).
    struct Case {
        const char* what;
        void (*edit)(std::vector<uint8_t>&);
        bool accepted;
    } cases[] = {
        {"valid", [](std::vector<uint8_t>&) {}, true},
        {"directory offset negative", [](std::vector<uint8_t>& f) { put_be32(f, f.size() - 9, 0x80000000); }, false},
        {"directory offset 11 from the end",
         [](std::vector<uint8_t>& f) { put_be32(f, f.size() - 9, uint32_t(f.size() - 11)); }, false},
        {"directory offset past the end",
         [](std::vector<uint8_t>& f) { put_be32(f, f.size() - 9, uint32_t(f.size() + 5)); }, false},
        {"count 0", [](std::vector<uint8_t>& f) { put_be32(f, 184, 0); }, false},
        {"count negative", [](std::vector<uint8_t>& f) { put_be32(f, 184, 0xFFFFFFFF); }, false},
        {"count past the directory", [](std::vector<uint8_t>& f) { put_be32(f, 184, 3); }, false},
        {"first block 0", [](std::vector<uint8_t>& f) { put_be32(f, 180, 0); }, false},
        {"first block negative", [](std::vector<uint8_t>& f) { put_be32(f, 180, 0x80000001); }, false},
        {"first block at the file size", [](std::vector<uint8_t>& f) { put_be32(f, 180, uint32_t(f.size())); }, false},
        {"block runs past the file end", [](std::vector<uint8_t>& f) { put_be32(f, 192, 5000); }, false},
        {"block size negative", [](std::vector<uint8_t>& f) { put_be32(f, 192, 0xFFFFFFF0); }, false},
        {"empty file", [](std::vector<uint8_t>& f) { f.clear(); }, false},
        {"shorter than a trailer", [](std::vector<uint8_t>& f) { f.resize(5); }, false},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        std::vector<uint8_t> file = small_installer();
        ASSERT_EQ(file.size(), 205u);
        c.edit(file);
        Loaded l;
        EXPECT_EQ(load(dir, file, &l), c.accepted) << c.what;
    }
}

TEST(PayloadContainer, TailOf1023BytesPassesAnd1024Fails) {
    // Unused bytes between the size entries and the trailer stretch the tail to the limit.
    for (int tail : {1023, 1024}) {
        std::vector<uint8_t> file(100, 'M');
        std::vector<uint8_t> block(40, 7);
        file.insert(file.end(), block.begin(), block.end());
        const size_t dir_at = file.size();
        file.resize(dir_at + tail, 0);
        put_be32(file, dir_at, 100);
        put_be32(file, dir_at + 4, 1);
        put_be32(file, dir_at + 8, 40);
        put_be32(file, file.size() - 9, uint32_t(dir_at));
        ScratchDir dir;
        Loaded l;
        EXPECT_EQ(load(dir, file, &l), tail == 1023) << tail;
    }
}

TEST(PayloadContainer, MissingFileIsRefused) {
    ScratchDir dir;
    int32_t count;
    uint32_t total;
    int flags;
    EXPECT_EQ(read_payload_file((dir / "absent.exe").c_str(), &count, &total, &flags), nullptr);
}

TEST(PayloadContainer, TheInstallerIsHeldAgainstWritersUntilItsBlocksAreReleased) {
    ScratchDir dir;
    const std::string path = dir / "setup.exe";
    {
        Loaded l;
        ASSERT_TRUE(load(dir, small_installer(PAYLOAD_FLAG_CHECKSUMS), &l));
        // On Windows nothing may change the blocks between their checksum check and their use.
        EXPECT_EQ(may_open_for_writing(path), !SYSTEM_HOLDS_FILES_AGAINST_WRITERS);
        EXPECT_EQ(block_bytes(l.blocks[1]), std::vector<uint8_t>(50, 2));
    }
    EXPECT_TRUE(may_open_for_writing(path));
}

TEST(PayloadContainer, AChangedByteAnywhereInALargeBlockFailsItsChecksum) {
    // The check reads a block in steps far smaller than the fuzz targets' inputs ever make one: bytes at the ends
    // of steps, in a later step and at the block's end are all checked.
    std::vector<uint8_t> large(200000);
    for (size_t i = 0; i < large.size(); ++i) large[i] = uint8_t(i * 7 + (i >> 9));
    const std::vector<uint8_t> file =
        build_installer(std::vector<uint8_t>(100, 'M'), {large, std::vector<uint8_t>(50, 2)}, 1, PAYLOAD_FLAG_CHECKSUMS);
    const size_t block0 = 100, block1 = 100 + large.size();
    struct Case {
        size_t at;
        int32_t block;
    } cases[] = {{block0, 0}, {block0 + 65535, 0}, {block0 + 65536, 0}, {block0 + 150000, 0},
                 {block0 + 199999, 0}, {block1 + 49, 1}};
    ScratchDir dir;
    Loaded whole;
    ASSERT_TRUE(load(dir, file, &whole));
    ASSERT_EQ(whole.blocks[1]->offset, int32_t(block1));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at);
        std::vector<uint8_t> changed = file;
        changed[c.at] ^= 0x10;
        const std::string path = dir / "changed.exe";
        ASSERT_TRUE(write_file_bytes(path, changed));
        int32_t count = 0;
        uint32_t total = 0;
        int flags = 0;
        ReadStatus why{ReadResult::ok, -1};
        EXPECT_EQ(read_payload_file(path.c_str(), &count, &total, &flags, &why), nullptr);
        EXPECT_EQ(int(why.result), int(ReadResult::checksum_mismatch));
        EXPECT_EQ(why.block, c.block);
    }
}
