// Stored blocks: which files pack stores, the layout it gives them, and the installer that comes out.
#include <gtest/gtest.h>

#include <filesystem>

#include "exit_codes.h"
#include "payload/format.h"
#include "payload/records.h"
#include "support/test_support.h"
#include "tree_fixture.h"

namespace fs = std::filesystem;

namespace {

// Bytes LZMA does not shrink, as in a photo or an archive.
std::string noise(size_t size, uint32_t seed) {
    const std::vector<uint8_t> bytes = random_bytes(size, seed);
    return std::string(bytes.begin(), bytes.end());
}

// Text that LZMA shrinks well.
std::string menu_lines(size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += std::to_string(i) + u8",米饭,2.00\r\n";
    return text;
}

struct Block {
    int properties;                    // 93: LZMA with lc 3, lp 0, pb 2; 255: stored
    std::vector<std::string> records;  // names in stream order, directories as "dir NAME"
};

std::vector<Block> blocks_of(const Payload& payload) {
    std::vector<Block> blocks;
    for (size_t i = 0; i < payload.stored.size(); ++i) {
        Block block{payload.stored[i][4], {}};
        for (const Entry& e : entries_of(payload.streams[i]))
            block.records.push_back(e.type == RECORD_DIR ? "dir " + e.name : e.name);
        blocks.push_back(block);
    }
    return blocks;
}

bool operator==(const Block& a, const Block& b) { return a.properties == b.properties && a.records == b.records; }

void PrintTo(const Block& b, std::ostream* os) {
    *os << b.properties << " {";
    for (const std::string& r : b.records) *os << " " << r;
    *os << " }";
}

}  // namespace

TEST(Stored, FilesThatLzmaDoesNotShrinkGoIntoStoredBlocksAfterTheLzmaOnes) {
    struct Case {
        const char* what;
        Tree tree;
        std::vector<std::string> options;
        std::vector<Block> blocks;
    } cases[] = {
        {"a large incompressible file: stored, after the LZMA blocks, its directory repeated",
         {{"cashier.exe", menu_lines(200)},
          {"media/menu.csv", menu_lines(5000)},
          {"media/photo.jpg", noise(100000, 1)}},
         {},
         {{93, {"\\cashier.exe"}},
          {93, {"dir \\media", "\\media\\menu.csv"}},
          {255, {"dir \\media", "\\media\\photo.jpg"}}}},
        {"large files, tried by slices: the text in LZMA, the incompressible one stored",
         {{"cashier.exe", menu_lines(200)},
          {"media/menu.csv", menu_lines(30000)},
          {"media/video.mp4", noise(600000, 5)}},
         {},
         {{93, {"\\cashier.exe"}},
          {93, {"dir \\media", "\\media\\menu.csv"}},
          {255, {"dir \\media", "\\media\\video.mp4"}}}},
        {"an incompressible file under 64 KiB stays among the text in LZMA",
         {{"cashier.exe", menu_lines(200)}, {"media/logo.png", noise(3000, 2)}, {"media/menu.csv", menu_lines(5000)}},
         {},
         {{93, {"\\cashier.exe"}}, {93, {"dir \\media", "\\media\\logo.png", "\\media\\menu.csv"}}}},
        {"an incompressible loose file stays in the first block",
         {{"cashier.exe", noise(100000, 3)}, {"readme.txt", menu_lines(5000)}, {"data/menu.csv", menu_lines(100)}},
         {},
         {{93, {"\\cashier.exe", "\\readme.txt"}}, {93, {"dir \\data", "\\data\\menu.csv"}}}},
        {"directories that lead only to stored files: in the stored block alone; an empty one stays in LZMA",
         {{"cashier.exe", menu_lines(200)},
          {"photos/2024/a.jpg", noise(70000, 4)},
          {"data/menu.csv", menu_lines(100)},
          {"data/logs/", ""}},
         {},
         {{93, {"\\cashier.exe"}},
          {93, {"dir \\data", "dir \\data\\logs", "\\data\\menu.csv"}},
          {255, {"dir \\photos", "dir \\photos\\2024", "\\photos\\2024\\a.jpg"}}}},
        {"a block too small to shrink is stored in its place",
         {{"a.txt", "x"}, {"media/menu.csv", menu_lines(5000)}},
         {},
         {{255, {"\\a.txt"}}, {93, {"dir \\media", "\\media\\menu.csv"}}}},
        {"--no-stored: every block in LZMA, grown or not",
         {{"a.txt", "x"}, {"media/menu.csv", menu_lines(5000)}, {"media/photo.jpg", noise(100000, 1)}},
         {"--no-stored"},
         {{93, {"\\a.txt"}}, {93, {"dir \\media", "\\media\\menu.csv", "\\media\\photo.jpg"}}}},
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        const std::string src = scratch / "src", out = scratch / "setup.exe", dest = scratch / "dest";
        write_tree(src, c.tree);
        std::vector<std::string> args = {"pack",  "--stub", make_stub(fs::path(scratch.path())),
                                         "--out", out,      ALLOW_MISSING_PROGRAMS};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(src);
        CliRun run = run_cli(args);
        ASSERT_EQ(run.status, MKI_OK) << c.what << ": " << run.err;
        const Payload payload = read_installer(out);
        EXPECT_EQ(blocks_of(payload), c.blocks) << c.what;
        for (const auto& block : payload.stored) {
            if (block[4] == 255) {
                EXPECT_EQ(block_dictionary_size(block.data()), 0u) << c.what;
            }
        }
        // The installer's own extraction gives the tree back, and verify finds nothing wrong.
        CliRun extract = run_cli({"extract", out, dest});
        EXPECT_EQ(extract.status, MKI_OK) << c.what << ": " << extract.err;
        EXPECT_TRUE(read_tree(dest) == read_tree(src)) << c.what;
        EXPECT_EQ(run_cli({"verify", out}).status, MKI_OK) << c.what;
    }
}

TEST(Stored, PackLinesSayStoredForStoredBlocks) {
    ScratchDir scratch;
    const std::string src = scratch / "src", out = scratch / "setup.exe";
    write_tree(src, {{"a.txt", "x"}, {"media/menu.csv", menu_lines(5000)}, {"media/photo.jpg", noise(100000, 1)}});
    CliRun run =
        run_cli({"pack", "--stub", make_stub(fs::path(scratch.path())), "--out", out, ALLOW_MISSING_PROGRAMS, src});
    ASSERT_EQ(run.status, MKI_OK) << run.err;
    const Payload payload = read_installer(out);
    ASSERT_EQ(payload.stored.size(), 3u);
    const std::string expected =
        "block 0: 0 directories, 1 files, 15 bytes -> 24 bytes, stored\n"
        "block 1: 1 directories, 1 files, 88922 bytes -> " +
        std::to_string(payload.stored[1].size()) +
        " bytes, LZMA dictionary 131072\n"
        "block 2: 1 directories, 1 files, 100033 bytes -> 100042 bytes, stored\n"
        "wrote " +
        out + ": " + std::to_string(read_file(out).size()) +
        " bytes, 3 blocks, 188970 bytes unpacked, flags 192\n"
        "installing needs about 3.1 MiB of memory (up to 0.1 MiB of blocks decoded at once and 3.0 MiB of the "
        "installer read at a time, within the installer's 128 MiB budget)\n";
    EXPECT_EQ(run.out, expected);
}

namespace {

// A block's properties byte and its records: "dir NAME", "NAME" for a whole file, "NAME OFFSET+LENGTH" for a piece.
std::vector<std::string> shapes_of(const Payload& payload) {
    std::vector<std::string> shapes;
    for (size_t i = 0; i < payload.streams.size(); ++i) {
        std::string shape = std::to_string(payload.stored[i][4]) + ":";
        RecordCursor cursor;
        start_records(&cursor, payload.streams[i].data(), int32_t(payload.streams[i].size()));
        Record r;
        while (next_record(&cursor, &r) == WalkResult::record) {
            const std::string name(reinterpret_cast<const char*>(r.name), r.name_len);
            if (r.type == RECORD_DIR) shape += " dir " + name;
            else if (r.type == RECORD_FILE) shape += " " + name;
            else shape += " " + name + " " + std::to_string(r.piece_offset) + "+" + std::to_string(r.data_len);
        }
        shapes.push_back(shape);
    }
    return shapes;
}

}  // namespace

TEST(Stored, FilesLargerThanABlockSpanBlocksBehindAnImageThatReadsPieces) {
    // log.txt (3158073 bytes, LZMA) and big.bin (5242880 bytes, stored) under 2 MiB blocks: each piece fills its
    // block, 2097152 bytes less the end record, the repeated "\data" (8) and the piece's head (28 and 28).
    const Tree tree = {{"cashier.exe", std::string(5000, 'c')},
                       {"data/log.txt", std::string(3158073, 'a')},
                       {"data/big.bin", noise(5242880, 9)}};
    struct Case {
        int revision;
        std::vector<std::string> shapes;
    } cases[] = {
        {2,
         {"93: \\cashier.exe", "93: dir \\data \\data\\log.txt 0+2097115",
          "93: dir \\data \\data\\log.txt 2097115+1060958", "255: dir \\data \\data\\big.bin 0+2097115",
          "255: dir \\data \\data\\big.bin 2097115+2097115", "255: dir \\data \\data\\big.bin 4194230+1048650"}},
        // An image that reads no pieces gets each large file whole in a block of its own.
        {1, {"93: \\cashier.exe", "93: dir \\data \\data\\log.txt", "255: dir \\data \\data\\big.bin"}},
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        const std::string src = scratch / "src", out = scratch / "setup.exe", dest = scratch / "dest";
        write_tree(src, tree);
        CliRun run = run_cli({"pack", "--stub", make_stub(fs::path(scratch.path()), c.revision), "--out", out,
                              "--block-size", "2M", ALLOW_MISSING_PROGRAMS, src});
        ASSERT_EQ(run.status, MKI_OK) << run.err;
        EXPECT_EQ(shapes_of(read_installer(out)), c.shapes) << "revision " << c.revision;
        // verify holds the manifest to the blocks: a spanning file listed once with its whole size.
        CliRun verify = run_cli({"verify", out});
        EXPECT_EQ(verify.status, MKI_OK) << verify.err;
        CliRun extract = run_cli({"extract", out, dest});
        EXPECT_EQ(extract.status, MKI_OK) << extract.err;
        EXPECT_TRUE(read_tree(dest) == read_tree(src)) << "revision " << c.revision;
    }
}
