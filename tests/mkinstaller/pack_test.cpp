// pack: round trips through the installer's own extraction, reproducible bytes, block layout, refused trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "block_encoder.h"
#include "exit_codes.h"
#include "payload/extract.h"
#include "payload/pipeline.h"
#include "payload/payload.h"
#include "product/reader_mark.h"
#include "support/test_support.h"
#include "pack.h"
#include "tree_fixture.h"

namespace fs = std::filesystem;

namespace {

std::string text_of(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Shaped like a product: its two programs and loose files at the top (one empty), nested directories up to
// five levels, an empty directory, Chinese names, and 乗 / 嘰, whose code page 936 trail byte is a backslash.
const Tree& product_tree() {
    static const Tree tree = with_programs({
        {"readme.txt", "POS readme\r\n"},
        {"config.ini", "[pos]\r\nport=9100\r\n"},
        {u8"更新日志.txt", ""},
        {"update/clear.bat", "@echo off\r\ndel /q cache\\*\r\n"},
        {u8"data/menu/菜单.csv", u8"编号,名称,价格\r\n1,米饭,2.00\r\n"},
        {u8"乗/嘰.txt", "trail bytes 0x5C"},
        {"res/images/logo.bin", text_of(random_bytes(3000, 7))},
        {"logs/", ""},
        {"a/b/c/d/e.txt", "five levels"},
        {"a b/x y.txt", "spaces"},
    });
    return tree;
}

struct Packed {
    ScratchDir scratch;
    fs::path root() const { return fs::path(scratch.path()); }
    std::string src() const { return scratch / "src"; }
    std::string out() const { return scratch / "setup.exe"; }
    std::string stub;
};

// Writes the tree and packs it with the extra options; the pack must succeed.
void pack_tree(Packed* p, const Tree& tree, std::vector<std::string> options = {},
               int revision = PAYLOAD_READER_MANIFEST) {
    write_tree(p->src(), tree);
    p->stub = make_stub(p->root(), revision);
    std::vector<std::string> args = {"pack", "--stub", p->stub, "--out", p->out()};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(p->src());
    CliRun run = run_cli(args);
    ASSERT_EQ(run.status, MKI_OK) << run.err;
}

// Installs block i alone, through the installer's own install_payload, into a fresh directory.
int install_block(const std::vector<uint8_t>& stored, uint32_t unpacked, const std::string& dir) {
    PayloadBlock block{const_cast<unsigned char*>(stored.data()), int32_t(stored.size())};
    PayloadBlock* blocks[] = {&block};
    testing::internal::CaptureStdout();
    int status = install_payload(dir.c_str(), blocks, 1, unpacked, false, nullptr);
    testing::internal::GetCapturedStdout();
    return status;
}

}  // namespace

TEST(Pack, ExtractionGivesBackTheSourceTree) {
    Packed p;
    pack_tree(&p, product_tree());
    const std::string dest = p.scratch / "dest";
    CliRun run = run_cli({"extract", p.out(), dest});
    ASSERT_EQ(run.status, MKI_OK) << run.err;
    EXPECT_EQ(read_tree(dest), read_tree(p.src()));
    EXPECT_EQ(run_cli({"verify", p.out()}).status, MKI_OK);

    // The installer in front is untouched but for its PE checksum field (at 0x80 + 24 + 64), which now covers
    // the whole file.
    const std::vector<uint8_t> installer = read_file(p.out());
    std::vector<uint8_t> stub = read_file(p.stub);
    ASSERT_GT(installer.size(), stub.size());
    EXPECT_EQ(std::vector<uint8_t>(stub.begin() + 0xD8, stub.begin() + 0xDC), (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_NE(std::vector<uint8_t>(installer.begin() + 0xD8, installer.begin() + 0xDC),
              (std::vector<uint8_t>{0, 0, 0, 0}));
    std::copy(installer.begin() + 0xD8, installer.begin() + 0xDC, stub.begin() + 0xD8);
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), installer.begin()));
}

TEST(Pack, SameTreeGivesTheSameBytes) {
    // The same tree created in the opposite order, with other timestamps, packs to the same file.
    Packed first, second;
    pack_tree(&first, product_tree());
    for (auto it = product_tree().rbegin(); it != product_tree().rend(); ++it) write_tree(second.src(), {*it});
    fs::last_write_time(fs::path(second.src()) / "readme.txt",
                        fs::file_time_type::clock::now() - std::chrono::hours(48));
    pack_tree(&second, {});
    EXPECT_EQ(read_file(first.out()), read_file(second.out()));
}

TEST(Pack, LooseFilesFirstThenSelfContainedBlocksOfAtMostTheBlockSize) {
    const uint32_t block_size = 1200;
    Tree tree = {{"a.exe", "program a"},
                 {"b.exe", "program b"},
                 {"zero.txt", ""},
                 {"big/huge.bin", text_of(random_bytes(2000, 1))}};
    for (int i = 0; i < 12; ++i) tree["data/menu/part" + std::to_string(i) + ".txt"] = std::string(150, char('a' + i));
    Packed p;
    pack_tree(&p, tree, {"--block-size", std::to_string(block_size), ALLOW_MISSING_PROGRAMS});
    const Payload payload = read_installer(p.out());
    std::vector<std::string> top;
    for (const Entry& e : entries_of(payload.streams[0]))
        top.push_back(e.type == RECORD_FILE ? e.name : "dir " + e.name);
    EXPECT_EQ(top, (std::vector<std::string>{"\\a.exe", "\\b.exe", "\\zero.txt"}));

    // Block 1 (huge.bin with its directory, which did not fit beside it and needs no block alone) does not
    // shrink in LZMA: stored.
    const std::vector<int> properties = {93, 255, 93, 93};
    ASSERT_EQ(payload.stored.size(), properties.size());
    uint64_t total = 0;
    Tree merged;
    for (size_t i = 0; i < payload.streams.size(); ++i) {
        const std::vector<uint8_t>& stream = payload.streams[i];
        const std::vector<uint8_t>& stored = payload.stored[i];
        total += stream.size();
        EXPECT_EQ(stream.back(), RECORD_END);
        EXPECT_EQ(stored[4], properties[i]) << "block " << i << ": 93 is lc 3, lp 0, pb 2; 255 stored";
        EXPECT_EQ(block_dictionary_size(stored.data()), properties[i] == 93 ? 4096u : 0u)
            << "block " << i << " is under 4 KiB";
        const std::vector<Entry> entries = entries_of(stream);
        size_t files = 0;
        for (const Entry& e : entries) files += e.type == RECORD_FILE;
        if (files > 1) {
            EXPECT_LE(stream.size(), block_size) << "block " << i;
        }
        for (const Entry& e : entries) {
            if (i > 0 && e.type == RECORD_FILE) {
                EXPECT_NE(e.name.find('\\', 1), std::string::npos) << e.name << ": loose files go in block 0";
            }
        }

        // Each block alone installs into an empty directory: it carries every directory it needs.
        ScratchDir alone;
        ASSERT_EQ(install_block(stored, uint32_t(stream.size()), alone.path()), EXTRACT_OK) << "block " << i;
        for (auto& entry : read_tree(alone.path())) merged.insert(entry);
    }
    EXPECT_EQ(total, payload.total);
    EXPECT_EQ(merged, read_tree(p.src()));
}

TEST(Pack, AnyNumberOfJobsGivesTheSameBytesAndLines) {
    // Small blocks of text, and files LZMA does not shrink in stored blocks after them.
    Tree tree = {{"cashier.exe", "program"}};
    for (int i = 0; i < 12; ++i) tree["data/menu/part" + std::to_string(i) + ".csv"] = std::string(3000, char('a' + i));
    for (int i = 0; i < 3; ++i) tree["media/photo" + std::to_string(i) + ".jpg"] = text_of(random_bytes(70000, 10 + i));
    Packed p;
    write_tree(p.src(), tree);
    p.stub = make_stub(p.root());
    std::vector<std::vector<uint8_t>> installers;
    std::vector<std::string> lines;
    for (const char* jobs : {"1", "4"}) {
        CliRun run = run_cli({"pack", "--stub", p.stub, "--out", p.out(), "--block-size", "8K", "--jobs", jobs,
                              ALLOW_MISSING_PROGRAMS, p.src()});
        ASSERT_EQ(run.status, MKI_OK) << run.err;
        installers.push_back(read_file(p.out()));
        lines.push_back(run.out);
    }
    EXPECT_TRUE(installers[0] == installers[1]);
    EXPECT_EQ(lines[0], lines[1]);
    const Payload payload = read_installer(p.out());
    std::vector<int> properties;
    for (const auto& block : payload.stored) properties.push_back(block[4]);
    EXPECT_EQ(properties, (std::vector<int>{255, 93, 93, 93, 93, 93, 93, 255, 255, 255}));
}

TEST(BlockEncoder, DictionaryFollowsTheLevelCappedByTheSmallestPowerOfTwoHoldingTheBlock) {
    struct Case {
        size_t unpacked;
        int level;
        uint32_t dict;
    } cases[] = {
        // xz's presets, levels 0-8, and 128 MiB at level 9, for a block larger than all of them.
        {2147483647, 0, 262144},
        {2147483647, 1, 1048576},
        {2147483647, 2, 2097152},
        {2147483647, 3, 4194304},
        {2147483647, 4, 4194304},
        {2147483647, 5, 8388608},
        {2147483647, 6, 8388608},
        {2147483647, 7, 16777216},
        {2147483647, 8, 33554432},
        {2147483647, 9, 134217728},
        // A smaller block: the smallest power of two holding it, at least 4 KiB.
        {0, 9, 4096},
        {1, 0, 4096},
        {4096, 9, 4096},
        {4097, 9, 8192},
        {65537, 9, 131072},
        {65537, 0, 131072},
        {300000, 0, 262144},
        {3000000, 5, 4194304},
        {67108864, 9, 67108864},
        {67108865, 9, 134217728},
        {67108865, 8, 33554432},
        {134217729, 9, 134217728},
    };
    for (const Case& c : cases)
        EXPECT_EQ(auto_dict_size(c.unpacked, c.level), c.dict) << c.unpacked << " bytes at level " << c.level;

    // Without a --dict the encoder writes that size into the block.
    struct Encoded {
        size_t unpacked;
        int level;
        uint32_t dict;
    } encoded[] = {{4096, 9, 4096}, {4097, 9, 8192}, {300000, 0, 262144}};
    for (const Encoded& c : encoded) {
        std::vector<uint8_t> stored;
        std::string error;
        EncodeOptions options;
        options.level = c.level;
        ASSERT_TRUE(encode_block(std::vector<uint8_t>(c.unpacked, 'x'), options, &stored, &error)) << error;
        EXPECT_EQ(block_dictionary_size(stored.data()), c.dict) << c.unpacked << " bytes at level " << c.level;
    }
}

TEST(Pack, OptionsReachTheInstaller) {
    struct Case {
        std::vector<std::string> options;
        int flags;
        uint32_t dict;
    } cases[] = {
        {{ALLOW_MISSING_PROGRAMS}, 0xC0, 4096},
        {{"--flags", "3", "--dict", "64K", "--level", "0", ALLOW_MISSING_PROGRAMS}, 0xC3, 65536},
        {{"--end-marker", "--flags", "2", "--no-checksums", ALLOW_MISSING_PROGRAMS}, 0x42, 4096},
    };
    for (const Case& c : cases) {
        Packed p;
        // Text that LZMA shrinks even at level 0, so both blocks are LZMA ones.
        pack_tree(&p, {{"a.txt", std::string(300, 'a')}, {"d/b.txt", std::string(300, 'b')}}, c.options);
        const Payload payload = read_installer(p.out());
        EXPECT_EQ(payload.flags, c.flags);
        for (const auto& stored : payload.stored) EXPECT_EQ(block_dictionary_size(stored.data()), c.dict);
        const std::string dest = p.scratch / "dest";
        EXPECT_EQ(run_cli({"extract", p.out(), dest}).status, MKI_OK);
        EXPECT_EQ(read_tree(dest), read_tree(p.src()));
    }
}

TEST(Pack, RefusesWhatTheInstallerCannotReproduce) {
    struct Case {
        const char* what;
        std::vector<std::string> options;
        bool (*make)(const fs::path& src);  // false: this system cannot hold such a tree
        const char* file;                   // named in the message
        const char* reason;
    } cases[] = {
        {"symbolic link",
         {},
         [](const fs::path& src) {
             write_tree(src, {{"real.txt", "x"}});
             std::error_code ec;
             fs::create_symlink(src / "real.txt", src / "link.txt", ec);
             return !ec;
         },
         "link.txt",
         "symbolic link"},
        {"name without a code page 936 form",
         {},
         [](const fs::path& src) {
             write_tree(src, {{u8"menu/\U0001F600.txt", "smile"}});
             return true;
         },
         ".txt",
         "code page 936"},
        {"name the installer refuses",
         {},
         [](const fs::path& src) {
             write_tree(src, {{"d/", ""}});
             std::ofstream(src / "d" / "tab\tname.txt") << "control character";
             return read_tree(src).size() == 2;
         },
         "name.txt",
         "has the control character U+0009"},
        {"names that are one on Windows",
         {},
         [](const fs::path& src) {
             write_tree(src, {{"Readme.txt", "1"}, {"README.TXT", "2"}});
             return read_tree(src).size() == 2;
         },
         "Readme.txt",
         "same name on Windows"},
        // The manifest's locator takes 12 bytes of the tail: 248 and 124 blocks where 251 and 125 fit without it.
        {"more than 248 blocks without checksums",
         {"--block-size", "1", "--no-checksums", ALLOW_MISSING_PROGRAMS},
         [](const fs::path& src) {
             Tree tree;
             for (int i = 0; i < 260; ++i) tree["f" + std::to_string(1000 + i)] = "x";
             write_tree(src, tree);
             return true;
         },
         "f1248",
         "at most 248"},
        {"more than 124 blocks with checksums",
         {"--block-size", "1", ALLOW_MISSING_PROGRAMS},
         [](const fs::path& src) {
             Tree tree;
             for (int i = 0; i < 130; ++i) tree["f" + std::to_string(1000 + i)] = "x";
             write_tree(src, tree);
             return true;
         },
         "f1124",
         "at most 124"},
        {"file of 2 GiB",
         {},
         [](const fs::path& src) {
             write_tree(src, {{"huge.bin", ""}});
             fs::resize_file(src / "huge.bin", 0x80000000ull);  // sparse: nothing is written
             return true;
         },
         "huge.bin",
         "2 GiB"},
        {"total unpacked size over 715827882",
         {ALLOW_MISSING_PROGRAMS},
         [](const fs::path& src) {
             // big.bin in 11 pieces of 64 MiB blocks takes 715827610 + 11 x (23-byte head + end record) = 715827874
             // bytes; small.txt's 18 take the total over.
             write_tree(src, {{"big.bin", ""}, {"small.txt", "x"}});
             fs::resize_file(src / "big.bin", 715827610);
             return true;
         },
         "small.txt",
         "715827882"},
        {"empty source directory",
         {},
         [](const fs::path& src) {
             fs::create_directories(src);
             return true;
         },
         "src",
         "nothing to pack"},
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        const fs::path src = fs::path(scratch / "src");
        if (!c.make(src)) {
            std::cout << "[ SKIPPED ] " << c.what << ": this system cannot hold such a tree\n";
            continue;
        }
        const std::string out = scratch / "setup.exe";
        ASSERT_TRUE(write_file_bytes(out, bytes_of("old installer")));
        std::vector<std::string> args = {"pack", "--stub", make_stub(fs::path(scratch.path())), "--out", out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(src.string());
        CliRun run = run_cli(args);
        EXPECT_EQ(run.status, MKI_FAILED) << c.what;
        EXPECT_NE(run.err.find(c.file), std::string::npos) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.what << ": " << run.err;
        EXPECT_EQ(read_file(out), bytes_of("old installer")) << c.what << ": the old output stays";
        EXPECT_FALSE(file_exists(out + ".partial")) << c.what;
    }
}

TEST(Pack, TheMostBlocksStillFitBeforeTheTrailer) {
    // One loose file a block: 125 blocks with the checksum table, 251 without, and the tail under 1024 bytes;
    // behind an image that reads the manifest, its 12-byte locator leaves room for 124 and 248.
    struct Case {
        std::vector<std::string> options;
        int revision;
        int blocks;
        size_t tail;
        size_t manifest;  // 13 bytes a file (type, length, "\\fNNNN", size), then the end record
    } cases[] = {
        {{}, PAYLOAD_READER_STORED, 125, 8 + 8 * 125 + 9, 0},
        {{"--no-checksums"}, PAYLOAD_READER_STORED, 251, 8 + 4 * 251 + 9, 0},
        {{}, PAYLOAD_READER_MANIFEST, 124, 8 + 8 * 124 + 12 + 9, 13 * 124 + 1},
        {{"--no-checksums"}, PAYLOAD_READER_MANIFEST, 248, 8 + 4 * 248 + 12 + 9, 13 * 248 + 1},
    };
    for (const Case& c : cases) {
        Tree tree;
        for (int i = 0; i < c.blocks; ++i) tree["f" + std::to_string(1000 + i)] = "x";
        Packed p;
        std::vector<std::string> options = {"--block-size", "1", "--level", "0", ALLOW_MISSING_PROGRAMS};
        options.insert(options.end(), c.options.begin(), c.options.end());
        pack_tree(&p, tree, options, c.revision);
        const Payload payload = read_installer(p.out());
        EXPECT_EQ(int(payload.stored.size()), c.blocks);
        size_t stored = 0;
        for (const auto& b : payload.stored) stored += b.size();
        EXPECT_EQ(read_file(p.out()).size() - read_file(p.stub).size() - stored - c.manifest, c.tail);
        EXPECT_LT(c.tail, 1024u);
        EXPECT_EQ(run_cli({"verify", p.out()}).status, MKI_OK);
    }
}

TEST(Pack, TheDefaultSplitGivesFourBlocksOnceTheProductIsLargeEnough) {
    const uint64_t MiB = 1 << 20;
    const struct {
        uint64_t product, block;
    } cases[] = {
        {0, 4 * MiB},  // small products: one block of at most 4 MiB, a few for 16 MiB
        {16 * MiB, 4 * MiB},    {16 * MiB + 1, 5 * MiB},  // a quarter rounded up to a MiB
        {65000000, 16 * MiB},                             // 62 MiB in four blocks of 16 MiB
        {164000000, 40 * MiB},  {252 * MiB, 63 * MiB},
        {1000 * MiB, 63 * MiB},  // larger products: blocks of 63 MiB, two side by side in 128 MiB
    };
    for (const auto& c : cases) EXPECT_EQ(default_block_size(c.product), c.block) << c.product;
}
