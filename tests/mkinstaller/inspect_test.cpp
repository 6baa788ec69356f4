// list and verify: the printed layout and records, and the damage verify finds.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <zlib.h>

#include "container_writer.h"
#include "exit_codes.h"
#include "payload/format.h"
#include "product/reader_mark.h"
#include "support/test_support.h"
#include "tree_fixture.h"

#ifdef MKINSTALLER_EXE
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// Packs behind a stub of the given reader revision: today's (with the manifest), or one that reads stored blocks
// but no manifest, which puts block 0 right after the stub's 512 bytes.
std::string pack(const ScratchDir& scratch, const Tree& tree, std::vector<std::string> options = {},
                 int revision = PAYLOAD_READER_MANIFEST) {
    write_tree(scratch / "src", tree);
    const std::string out = scratch / "setup.exe";
    std::vector<std::string> args = {"pack",  "--stub", make_stub(fs::path(scratch.path()), revision),
                                     "--out", out,      ALLOW_MISSING_PROGRAMS};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(scratch / "src");
    CliRun run = run_cli(args);
    EXPECT_EQ(run.status, MKI_OK) << run.err;
    return out;
}

// An installer around hand-made record streams, each encoded by the real encoder.
std::string installer_of(const ScratchDir& scratch, const std::vector<std::vector<uint8_t>>& streams,
                         int64_t total_delta = 0) {
    std::vector<std::vector<uint8_t>> blocks;
    int64_t total = total_delta;
    for (const auto& s : streams) {
        blocks.push_back(encode(s));
        total += int64_t(s.size());
    }
    const std::string out = scratch / "hand.exe";
    EXPECT_TRUE(write_file_bytes(out, build_installer(stub_bytes(), blocks, uint32_t(total), 0)));
    return out;
}

std::string crc_hex(const std::vector<uint8_t>& bytes) {
    char hex[16];
    snprintf(hex, sizeof hex, "%08X", unsigned(crc32(0, bytes.data(), uInt(bytes.size()))));
    return hex;
}

}  // namespace

TEST(List, PrintsDirectoryTrailerAndEveryRecord) {
    ScratchDir scratch;
    // Block 0 is too small for LZMA to shrink and is stored; block 1 shrinks.
    std::string menu_text;
    for (int i = 0; i < 20; ++i) menu_text += "1,rice\r\n";
    const std::string path = pack(scratch, {{"a.txt", "alpha"}, {u8"菜单/b.csv", menu_text}});
    const Payload payload = read_installer(path);
    ASSERT_EQ(payload.stored.size(), 2u);
    const std::vector<uint8_t> file = read_file(path);
    // Two size entries and, as pack writes by default, two CRC-32 values.
    const size_t dir_offset = file.size() - 9 - 12 - 8 - 4 * 2 - 4 * 2;
    // Names show as UTF-8 on every system, whatever its code page.
    const std::string menu = u8"菜单";
    EXPECT_EQ(payload.stored[0].size(), 9u + 19u) << "header and the stream of block 0";
    // The manifest right after the stub: \a.txt (5 bytes), the directory \菜单, \菜单\b.csv (160 bytes), the end.
    const std::vector<uint8_t> manifest = {
        2,    0, 6, '\\', 'a',  '.',  't',  'x',  't',  0,    0,   0,   5,   1,   0,   5, '\\', 0xB2, 0xCB, 0xB5,
        0xA5, 2, 0, 11,   '\\', 0xB2, 0xCB, 0xB5, 0xA5, '\\', 'b', '.', 'c', 's', 'v', 0, 0,    0,    160,  10};
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 512, file.begin() + 552), manifest);
    auto block_line = [&](size_t i, const std::string& properties) {
        const size_t at = 552 + (i == 0 ? 0 : payload.stored[0].size());
        return "  block " + std::to_string(i) + " at " + std::to_string(at) + ": stored " +
               std::to_string(payload.stored[i].size()) + ", unpacked " + std::to_string(payload.streams[i].size()) +
               ", properties " + properties + ", crc32 " + crc_hex(payload.stored[i]) + "\n";
    };
    const std::string expected =
        "manifest at 512: 40 bytes, crc32 " + crc_hex(manifest) + "\n" + "directory at " + std::to_string(dir_offset) +
        ": first block at 552, 2 blocks\n" + block_line(0, "255 (stored), dictionary 0") +
        block_line(1, "93 (lc 3 lp 0 pb 2), dictionary 4096") + "checksums: a CRC-32 for each block at " +
        std::to_string(dir_offset + 16) + "\n" + "trailer: directory at " + std::to_string(dir_offset) +
        ", total unpacked " + std::to_string(payload.total) + ", flags 192\n" +
        "block 0:\n"
        "  file            5  \\a.txt\n"
        "  end\n"
        "block 1:\n"
        "  dir                \\" +
        menu +
        "\n"
        "  file          160  \\" +
        menu +
        "\\b.csv\n"
        "  end\n"
        "program image: PE32, 1 sections, 512 bytes; PE checksum 0000D7B2, the whole file's\n" +
        path + ": ok: 2 blocks, 1 directories, 2 files, " + std::to_string(payload.total) +
        " bytes unpacked, flags 192\n";
    CliRun run = run_cli({"list", path});
    EXPECT_EQ(run.status, MKI_OK) << run.err;
    EXPECT_EQ(run.out, expected);
}

TEST(Verify, FindsDamageThatBreaksDecodingOrRecords) {
    // Without the checksum table, as installers made before it: only decoding and the records show damage.
    ScratchDir scratch;
    const std::string good = pack(scratch, {{"a.exe", "program"}, {"data/menu/m.csv", "1,rice"}, {"data/x.txt", "x"}},
                                  {"--no-checksums"}, PAYLOAD_READER_STORED);
    const std::vector<uint8_t> bytes = read_file(good);
    const Payload payload = read_installer(good);
    const size_t block1 = 512 + payload.stored[0].size();
    ASSERT_EQ(payload.stored[1][4], 93) << "block 1 is an LZMA block";

    using Edit = std::function<void(std::vector<uint8_t>&)>;
    struct Case {
        const char* what;
        Edit edit;
        const char* reason;
    } file_cases[] = {
        {"flipped byte in the trailer", [](std::vector<uint8_t>& b) { b[b.size() - 6] ^= 0x01; }, "block count"},
        {"directory offset past the end", [](std::vector<uint8_t>& b) { b[b.size() - 9] = 0x7F; },
         "the trailer's directory offset lies outside the file"},
        {"flipped byte in a block size", [](std::vector<uint8_t>& b) { b[b.size() - 10] ^= 0x01; },
         "not at the directory"},
        {"flipped byte in a block's unpacked size", [&](std::vector<uint8_t>& b) { b[block1 + 3] ^= 0x01; }, "block 1"},
        {"flipped first byte of the LZMA data", [&](std::vector<uint8_t>& b) { b[block1 + 9] ^= 0x01; },
         "does not decode"},
        {"flipped byte early in the LZMA data", [&](std::vector<uint8_t>& b) { b[block1 + 12] ^= 0x01; }, "block 1"},
        {"truncated by one byte", [](std::vector<uint8_t>& b) { b.pop_back(); }, "cut short"},
        {"truncated to half", [](std::vector<uint8_t>& b) { b.resize(b.size() / 2); }, "block count"},
    };
    for (const Case& c : file_cases) {
        std::vector<uint8_t> damaged = bytes;
        c.edit(damaged);
        const std::string path = scratch / "damaged.exe";
        ASSERT_TRUE(write_file_bytes(path, damaged));
        CliRun run = run_cli({"verify", path});
        EXPECT_EQ(run.status, MKI_DAMAGED) << c.what;
        EXPECT_EQ(run.err.rfind("mkinstaller: " + path + ": ", 0), 0u) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.what << ": " << run.err;
    }
    EXPECT_EQ(run_cli({"verify", good}).status, MKI_OK);
}

TEST(Verify, FindsStreamsThatDecodeButBreakTheFormat) {
    const std::vector<uint8_t> ok = stream_of({{"\\d", nullptr}, {"\\d\\f.txt", "f"}});
    std::vector<uint8_t> trailing = ok;
    trailing.push_back(0);
    std::vector<uint8_t> unknown_end = ok;
    unknown_end.back() = 0;
    struct Case {
        const char* what;
        std::vector<std::vector<uint8_t>> streams;
        int64_t total_delta;
        const char* reason;
    } cases[] = {
        {"unsafe name", {stream_of({{"\\..\\evil.txt", "x"}})}, 0, "unsafe name"},
        {"directory not created first", {ok, stream_of({{"\\d\\g.txt", "g"}})}, 0, "not created earlier"},
        {"record cut short", {std::vector<uint8_t>(ok.begin(), ok.end() - 3)}, 0, "cut short"},
        {"bytes after the end record", {trailing}, 0, "1 bytes after the end record"},
        {"stream ended by an unknown type", {unknown_end}, 0, "ends with type 0"},
        {"total in the trailer differs", {ok}, 1, "the trailer says"},
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        const std::string path = installer_of(scratch, c.streams, c.total_delta);
        CliRun run = run_cli({"verify", path});
        EXPECT_EQ(run.status, MKI_DAMAGED) << c.what;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.what << ": " << run.err;
    }
    ScratchDir scratch;
    EXPECT_EQ(run_cli({"verify", installer_of(scratch, {ok, ok})}).status, MKI_OK);
}

TEST(Verify, ChecksumsCatchEveryChangedBlockByteAndABrokenTable) {
    ScratchDir scratch;
    const std::string good = pack(scratch, {{"a.exe", "program"}, {"data/m.csv", "1,rice"}}, {}, PAYLOAD_READER_STORED);
    const std::vector<uint8_t> bytes = read_file(good);
    const Payload payload = read_installer(good);
    ASSERT_EQ(payload.stored.size(), 2u);
    const size_t block1 = 512 + payload.stored[0].size();
    const size_t dir = block1 + payload.stored[1].size();
    ASSERT_EQ(dir, bytes.size() - 9 - 8 - 4 * 2 - 4 * 2);

    struct Case {
        const char* what;
        size_t at;
        uint8_t mask;
        const char* reason;
    } cases[] = {
        {"unpacked size of block 0", 512 + 3, 0x01, "block 0: checksum mismatch"},
        {"properties byte of block 0", 512 + 4, 0x01, "block 0: checksum mismatch"},
        {"last LZMA byte of block 1", dir - 1, 0x80, "block 1: checksum mismatch"},
        {"first checksum", dir + 16, 0x10, "block 0: checksum mismatch"},
        {"second checksum", dir + 23, 0x01, "block 1: checksum mismatch"},
        {"flag 128 cleared", bytes.size() - 1, 0x80,
         "flags 0: bit 7 is clear, so the checksum table of 8 bytes after the directory is ignored and no block's "
         "CRC-32 is checked"},
        // Without room for the table the flag is a reserved bit: the third size entry is then a checksum.
        {"count 3: table no longer fits", dir + 7, 0x01, "block 2: the directory gives a negative size or one that"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> damaged = bytes;
        damaged[c.at] ^= c.mask;
        const std::string path = scratch / "damaged.exe";
        ASSERT_TRUE(write_file_bytes(path, damaged));
        CliRun run = run_cli({"verify", path});
        EXPECT_EQ(run.status, MKI_DAMAGED) << c.what;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.what << ": " << run.err;
    }
    EXPECT_EQ(run_cli({"verify", good}).status, MKI_OK);
}

TEST(Verify, HoldsAStoredBlockToExactlyItsStreamAndDictionary0) {
    // The installer copies the first U bytes and looks no further; verify holds the block to what pack writes.
    const std::vector<uint8_t> stream = stream_of({{"\\a.txt", "alpha"}});
    ASSERT_EQ(stream.size(), 19u);
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    struct Case {
        const char* what;
        Edit edit;
        const char* reason;  // "" when verify accepts it
        int extract;         // the installer's own reading
    } cases[] = {
        {"as pack writes it", [](std::vector<uint8_t>&) {}, "", MKI_OK},
        {"dictionary field 1", [](std::vector<uint8_t>& b) { b[5] = 1; },
         "block 0: stored block with dictionary field 1, not 0", MKI_OK},
        {"dictionary field 16777216", [](std::vector<uint8_t>& b) { b[8] = 1; },
         "block 0: stored block with dictionary field 16777216, not 0", MKI_OK},
        {"a byte after the stream", [](std::vector<uint8_t>& b) { b.push_back(RECORD_END); },
         "block 0: stored block with 20 bytes after its header, not its unpacked size 19", MKI_OK},
        {"the stream's last byte missing", [](std::vector<uint8_t>& b) { b.pop_back(); },
         "block 0: stored block with 18 bytes after its header, not its unpacked size 19", MKI_FAILED},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> block = {0x00, 0x00, 0x00, 0x13, 0xFF, 0x00, 0x00, 0x00, 0x00};
        for (uint8_t byte : stream) block.push_back(byte);
        c.edit(block);
        ScratchDir scratch;
        const std::string path = scratch / "stored.exe";
        ASSERT_TRUE(write_file_bytes(path, build_installer(stub_bytes(), {block}, 19, PAYLOAD_FLAG_CHECKSUMS)));
        CliRun verify = run_cli({"verify", path});
        if (*c.reason == '\0') {
            EXPECT_EQ(verify.status, MKI_OK) << c.what << ": " << verify.err;
        } else {
            EXPECT_EQ(verify.status, MKI_DAMAGED) << c.what;
            EXPECT_EQ(verify.err, "mkinstaller: " + path + ": " + c.reason + "\n") << c.what;
        }
        EXPECT_EQ(run_cli({"extract", path, scratch / "dest"}).status, c.extract) << c.what;
    }
}

#ifdef MKINSTALLER_EXE
namespace {

// The built program's exit status for one command, run with at most limit bytes of private writable memory (its
// heap and anonymous mappings: the system refuses more); -1 when it did not end by itself.
int status_within(rlim_t limit, const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv = {const_cast<char*>(MKINSTALLER_EXE)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const rlimit data{limit, limit};
        if (setrlimit(RLIMIT_DATA, &data) != 0 || !freopen("/dev/null", "w", stdout) ||
            !freopen("/dev/null", "w", stderr))
            _exit(126);
        execv(MKINSTALLER_EXE, argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace

TEST(Verify, HoldsOneBlockAtATimeWhateverTheInstallersSize) {
    if (SHADOW_MEMORY) GTEST_SKIP() << "a sanitizer maps its shadow memory as the program's own";
    ScratchDir scratch;
    // Eight files LZMA cannot shrink, one stored block each: 48 MiB of payload in blocks of 6 MiB.
    Tree tree;
    for (int i = 0; i < 8; ++i) {
        const std::vector<uint8_t> noise = random_bytes(6 << 20, uint32_t(40 + i));
        tree["media/clip" + std::to_string(i) + ".bin"] = std::string(noise.begin(), noise.end());
    }
    const std::string path = pack(scratch, tree, {"--block-size", "8M"});
    ASSERT_EQ(read_installer(path).stored.size(), 8u);
    for (const char* command : {"verify", "list"}) {
        EXPECT_EQ(status_within(24 << 20, {command, path}), MKI_OK)
            << command << ": one 6 MiB block at a time besides the program, not the 48 MiB payload";
        // The limit is the system's: below one block the command cannot hold it.
        EXPECT_EQ(status_within(4 << 20, {command, path}), MKI_DAMAGED) << command;
    }
}
#endif
