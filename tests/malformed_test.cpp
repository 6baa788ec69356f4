// Damaged and hostile installers through the installer's whole read and install path: each case ends in
// its documented result, nothing appears outside the install directory, and (in the sanitizer build)
// nothing crashes or leaks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include <zlib.h>

#include "container_writer.h"
#include "payload/extract.h"
#include "payload/pipeline.h"
#include "payload/payload.h"
#include "signed_image.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

// The documented results: read_payload refuses (null, "installer damaged"), install_payload fails
// (status 1, "installation failed"), or everything is installed (status 0).
enum Result { REFUSED, FAILED, INSTALLED };
const char* result_name(int r) { return r == REFUSED ? "refused" : r == FAILED ? "failed" : "installed"; }

// One run of an installer file, as the worker does it: read, install into a fresh install directory, free.
class Bench {
public:
    // The installer file sits beside the case's tree, so an escape upwards would land next to it.
    Bench() : installer_(scratch_ / "setup.exe"), install_dir_(scratch_ / "case" + sep() + "inst" + sep()) {}

    int run(const std::vector<uint8_t>& file) {
        std::error_code ec;
        fs::remove_all(fs::path(scratch_ / "case"), ec);
        if (!write_file_bytes(installer_, file)) throw std::runtime_error("cannot write the installer");
        int32_t count = 0;
        uint32_t total = 0;
        int flags = 0;
        PayloadBlock** blocks = read_payload_file(installer_.c_str(), &count, &total, &flags);
        if (!blocks) return REFUSED;
        testing::internal::CaptureStdout();
        ExtractFailure failure{};
        const int status = install_payload(install_dir_.c_str(), blocks, count, total,
                                           (flags & PAYLOAD_FLAG_CHECKSUMS) != 0, nullptr, &failure);
        testing::internal::GetCapturedStdout();
        last_walk_ = failure.what == ExtractFault::record ? int(failure.walk) : -1;
        free_payload(blocks, count);
        return status == EXTRACT_OK ? INSTALLED : FAILED;
    }

    // Everything in the scratch directory is the installer, the install directory's parents, or inside it.
    std::string outside() const {
        const std::set<std::string> allowed = {"setup.exe", "case/", "case/inst/"};
        for (const std::string& entry : list_tree(scratch_.path()))
            if (!allowed.count(entry) && entry.rfind("case/inst/", 0) != 0) return entry;
        return "";
    }

    const std::string& install_dir() const { return install_dir_; }
    // The walk's result when the last run failed on a record; -1 otherwise.
    int last_walk() const { return last_walk_; }

private:
    int last_walk_ = -1;
    static std::string sep() { return std::string(1, native_separator()); }
    ScratchDir scratch_;
    std::string installer_;
    std::string install_dir_;
};

// The manifest of the fixture's two blocks, as pack writes it: 63 bytes.
std::vector<uint8_t> fixture_manifest() {
    ManifestWriter w;
    w.add_file("\\app.exe", 10);
    w.add_file("\\readme.txt", 9);
    w.add_dir("\\data");
    w.add_file("\\data\\menu.csv", 41);
    return w.finish();
}

// A valid installer: a 2048-byte stub, the manifest when asked for, and two real blocks; every field's offset
// is known.
struct Fixture {
    std::vector<uint8_t> file;
    std::vector<std::vector<uint8_t>> blocks;
    size_t stub = 2048;
    size_t manifest = 0;  // the manifest's length, right after the stub
    size_t dir = 0;       // directory offset
    size_t trailer = 0;   // trailer offset
    bool checksums;

    explicit Fixture(bool with_checksums, bool with_manifest = false) : checksums(with_checksums) {
        const std::vector<uint8_t> first = stream_of({{"\\app.exe", "MZ cashier"}, {"\\readme.txt", "read me\r\n"}});
        RecordStreamWriter w;
        w.add_dir("\\data");
        w.add_file("\\data\\menu.csv", bytes_of("1,rice,2.00\r\n2,tea,1.00\r\n3,noodles,6.50\r\n"));
        const std::vector<uint8_t> second = w.finish();
        blocks = {encode(first), encode(second)};
        std::vector<uint8_t> stub_bytes(stub, 0xFF);  // a directory offset into the stub finds B = -1
        stub_bytes[0] = 'M';
        stub_bytes[1] = 'Z';
        const std::vector<uint8_t> listed = with_manifest ? fixture_manifest() : std::vector<uint8_t>();
        manifest = listed.size();
        file = build_installer(stub_bytes, blocks, uint32_t(first.size() + second.size()),
                               with_checksums ? PAYLOAD_FLAG_CHECKSUMS : 0, listed);
        trailer = file.size() - 9;
        dir = stub + manifest + blocks[0].size() + blocks[1].size();
    }
    size_t block0() const { return stub + manifest; }
    size_t block1() const { return block0() + blocks[0].size(); }
    size_t locator() const { return trailer - 12; }
};

using Edit = std::function<void(std::vector<uint8_t>&)>;

Edit be32_at(size_t at, uint32_t value) {
    return [at, value](std::vector<uint8_t>& f) { put_be32(&f, at, value); };
}

}  // namespace

TEST(MalformedInstaller, CutAtEveryOffsetIsRefused) {
    for (bool manifest : {false, true})
        for (bool checksums : {false, true}) {
            const Fixture fx(checksums, manifest);
            Bench bench;
            // Every offset in the tail, the blocks and the manifest, every 64th in the stub, and the empty file.
            for (size_t cut = 0; cut < fx.file.size(); cut += cut < fx.stub ? 64 : 1) {
                const std::vector<uint8_t> cut_file(fx.file.begin(), fx.file.begin() + cut);
                EXPECT_STREQ(result_name(bench.run(cut_file)), result_name(REFUSED))
                    << "cut at " << cut << ", checksums " << checksums << ", manifest " << manifest;
                EXPECT_EQ(bench.outside(), "");
            }
            EXPECT_STREQ(result_name(bench.run(fx.file)), result_name(INSTALLED));
        }
}

TEST(MalformedInstaller, ManifestLocatorAndEntries) {
    for (bool checksums : {false, true}) {
        const Fixture fx(checksums, true);
        ASSERT_EQ(fx.manifest, 63u);
        const size_t at = fx.locator();
        // Replaces the manifest's bytes from offset on and puts their CRC-32 in the locator, as a writer would.
        auto rewritten = [&](size_t offset, std::vector<uint8_t> bytes) {
            return [&fx, at, offset, bytes](std::vector<uint8_t>& f) {
                std::copy(bytes.begin(), bytes.end(), f.begin() + std::ptrdiff_t(fx.stub + offset));
                put_be32(&f, at + 8, uint32_t(crc32(0, f.data() + fx.stub, uInt(fx.manifest))));
            };
        };
        struct Case {
            const char* what;
            Edit edit;
            int result;
        } cases[] = {
            {"untouched", [](std::vector<uint8_t>&) {}, INSTALLED},
            {"offset one byte late", be32_at(at, uint32_t(fx.stub + 1)), REFUSED},
            {"offset one byte early", be32_at(at, uint32_t(fx.stub - 1)), REFUSED},
            {"offset 0", be32_at(at, 0), REFUSED},
            {"offset negative", be32_at(at, 0x80000000), REFUSED},
            {"length one more", be32_at(at + 4, 64), REFUSED},
            {"length one less", be32_at(at + 4, 62), REFUSED},
            {"length 0", be32_at(at + 4, 0), REFUSED},
            {"length 2 GiB - 1", be32_at(at + 4, 0x7FFFFFFF), REFUSED},
            {"checksum flipped", [&](std::vector<uint8_t>& f) { f[at + 8] ^= 0x01; }, REFUSED},
            {"a manifest byte flipped", [&](std::vector<uint8_t>& f) { f[fx.stub + 20] ^= 0x01; }, REFUSED},
            // Entries that break the rules, their checksum made right.
            {"an unsafe name", rewritten(3, bytes_of("\\..\\x")), REFUSED},
            {"a name length past the end", rewritten(1, {0xFF, 0xFF}), REFUSED},
            {"no end record", rewritten(62, {0}), REFUSED},
            {"the end record too early", rewritten(41, {RECORD_END}), REFUSED},
            // Without the flag the manifest is the stub's last bytes to every reader.
            {"flag 0x40 cleared", [&](std::vector<uint8_t>& f) { f[fx.trailer + 8] &= uint8_t(~0x40); }, INSTALLED},
        };
        Bench bench;
        for (const Case& c : cases) {
            std::vector<uint8_t> file = fx.file;
            c.edit(file);
            EXPECT_STREQ(result_name(bench.run(file)), result_name(c.result)) << c.what << ", checksums " << checksums;
            EXPECT_EQ(bench.outside(), "") << c.what;
        }
    }
}

TEST(MalformedInstaller, TrailerAndDirectoryFieldsAtBoundaryAndHostileValues) {
    for (bool checksums : {false, true}) {
        const Fixture fx(checksums);
        const size_t size = fx.file.size();
        const uint32_t s0 = uint32_t(fx.blocks[0].size()), s1 = uint32_t(fx.blocks[1].size());
        // Each result is the same with and without checksums, except where a changed size entry or count
        // makes the table disagree: there the checksums refuse what would otherwise fail or half-install.
        const int wrong_bytes = checksums ? REFUSED : FAILED;
        struct Case {
            const char* what;
            Edit edit;
            int result;
        } cases[] = {
            {"untouched", [](std::vector<uint8_t>&) {}, INSTALLED},
            // Trailer: directory offset.
            {"directory offset negative", be32_at(fx.trailer, 0x80000000), REFUSED},
            {"directory offset -1", be32_at(fx.trailer, 0xFFFFFFFF), REFUSED},
            {"directory offset 11 from the end", be32_at(fx.trailer, uint32_t(size - 11)), REFUSED},
            {"directory offset at the end", be32_at(fx.trailer, uint32_t(size)), REFUSED},
            {"directory offset past the end", be32_at(fx.trailer, 0x7FFFFFFF), REFUSED},
            {"directory offset 1024 from the end", be32_at(fx.trailer, uint32_t(size - 1024)), REFUSED},
            {"directory offset 1023 from the end, in the stub", be32_at(fx.trailer, uint32_t(size - 1023)), REFUSED},
            {"directory offset 0", be32_at(fx.trailer, 0), REFUSED},
            // Trailer: total unpacked size only sets the progress range.
            {"total 0", be32_at(fx.trailer + 4, 0), INSTALLED},
            {"total 4 GiB - 1", be32_at(fx.trailer + 4, 0xFFFFFFFF), INSTALLED},
            // Trailer: flags. Bits 0-6 mean nothing to the reader; bit 7 decides whether a table that fits is
            // read: without room for one it is a reserved bit like the others.
            {"flags 0x7F", [&](std::vector<uint8_t>& f) { f[fx.trailer + 8] = 0x7F | (f[fx.trailer + 8] & 0x80); },
             INSTALLED},
            {"flag 0x80 toggled", [&](std::vector<uint8_t>& f) { f[fx.trailer + 8] ^= 0x80; }, INSTALLED},
            {"flags 0xFC", [&](std::vector<uint8_t>& f) { f[fx.trailer + 8] = 0xFC; }, INSTALLED},
            {"flags 0x83", [&](std::vector<uint8_t>& f) { f[fx.trailer + 8] = 0x83; }, INSTALLED},
            {"flags 0x80", [&](std::vector<uint8_t>& f) { f[fx.trailer + 8] = 0x80; }, INSTALLED},
            // Directory: first-block offset.
            {"first block 0", be32_at(fx.dir, 0), REFUSED},
            {"first block negative", be32_at(fx.dir, 0x80000000), REFUSED},
            {"first block at the file size", be32_at(fx.dir, uint32_t(size)), REFUSED},
            {"first block at the last byte", be32_at(fx.dir, uint32_t(size - 1)), REFUSED},
            {"first block one byte late", be32_at(fx.dir, uint32_t(fx.stub + 1)), wrong_bytes},
            {"first block one byte early", be32_at(fx.dir, uint32_t(fx.stub - 1)), wrong_bytes},
            // Directory: count.
            {"count 0", be32_at(fx.dir + 4, 0), REFUSED},
            {"count negative", be32_at(fx.dir + 4, 0xFFFFFFFF), REFUSED},
            {"count 2^31 - 1", be32_at(fx.dir + 4, 0x7FFFFFFF), REFUSED},
            {"count one more than the entries", be32_at(fx.dir + 4, 3), REFUSED},
            // Only block 0 is read: without checksums that is a smaller, complete installation.
            {"count 1", be32_at(fx.dir + 4, 1), checksums ? REFUSED : INSTALLED},
            // Directory: size entries.
            {"block 0 empty", be32_at(fx.dir + 8, 0), wrong_bytes},
            {"block 0 shorter than its header", be32_at(fx.dir + 8, 8), wrong_bytes},
            {"block 0 one byte longer", be32_at(fx.dir + 8, s0 + 1), wrong_bytes},
            {"block 1 one byte longer, into the directory", be32_at(fx.dir + 12, s1 + 1),
             checksums ? REFUSED : INSTALLED},
            {"block 1 past the end", be32_at(fx.dir + 12, uint32_t(size)), REFUSED},
            {"block 0 of 2 GiB - 1", be32_at(fx.dir + 8, 0x7FFFFFFF), REFUSED},
            {"block 0 negative", be32_at(fx.dir + 8, 0xFFFFFFF7), REFUSED},
            // Block headers: unpacked size and properties.
            {"block 1 unpacked size 2 GiB", be32_at(fx.block1(), 0x80000000), wrong_bytes},
            {"block 1 unpacked size 4 GiB - 1", be32_at(fx.block1(), 0xFFFFFFFF), wrong_bytes},
            {"block 1 unpacked size 0", be32_at(fx.block1(), 0), wrong_bytes},
            {"block 1 properties 225", [&](std::vector<uint8_t>& f) { f[fx.block1() + 4] = 225; }, wrong_bytes},
        };
        Bench bench;
        for (const Case& c : cases) {
            std::vector<uint8_t> file = fx.file;
            c.edit(file);
            EXPECT_STREQ(result_name(bench.run(file)), result_name(c.result)) << c.what << ", checksums " << checksums;
            EXPECT_EQ(bench.outside(), "") << c.what;
        }
    }
}

TEST(MalformedInstaller, FlippedBlockBytesAreRefusedWithChecksumsAndStayInsideWithout) {
    for (bool checksums : {false, true}) {
        const Fixture fx(checksums);
        Bench bench;
        int failed = 0;
        for (size_t at = fx.stub; at < fx.dir; ++at) {
            for (uint8_t mask : {uint8_t(0x01), uint8_t(0x80)}) {
                std::vector<uint8_t> file = fx.file;
                file[at] ^= mask;
                const int result = bench.run(file);
                // Without a checksum a changed byte fails to decode or decodes to other content; both are
                // within the install directory. With one it is refused before anything is written.
                if (checksums) {
                    EXPECT_STREQ(result_name(result), result_name(REFUSED)) << "byte " << at << " ^ " << int(mask);
                } else {
                    EXPECT_STRNE(result_name(result), result_name(REFUSED)) << "byte " << at << " ^ " << int(mask);
                }
                failed += result == FAILED;
                EXPECT_EQ(bench.outside(), "") << "byte " << at << " ^ " << int(mask);
            }
        }
        if (!checksums) {
            EXPECT_GT(failed, 0) << "most flips break decoding";
        }
    }
}

TEST(MalformedInstaller, HostileRecordStreams) {
    Bench bench;
    // Names that reach the path limit exactly, and one byte past it, as nested directories of 200 bytes.
    const size_t room = PATH_LIMIT - bench.install_dir().size();
    auto nested = [](size_t length) {
        // k components of 1 to 200 bytes, each after its separator, length bytes in all.
        const size_t k = (length + 200) / 201;
        RecordStreamWriter w;
        std::string name;
        for (size_t i = 0; i < k; ++i) {
            const size_t component = (length - name.size()) / (k - i) - 1;
            name += "\\" + std::string(component, char('a' + i));
            w.add_dir(name);
        }
        EXPECT_EQ(name.size(), length);
        return w.finish();
    };
    auto raw = [](std::initializer_list<uint8_t> bytes) { return std::vector<uint8_t>(bytes); };
    struct Case {
        const char* what;
        std::vector<uint8_t> stream;
        int result;
    } cases[] = {
        {"names at the path limit", nested(room), INSTALLED},
        {"a name one byte past the path limit", nested(room + 1), FAILED},
        {"data length 4 GiB - 1", raw({2, 0, 2, '\\', 'x', 0xFF, 0xFF, 0xFF, 0xFF, 'a', 10}), FAILED},
        {"data length 2 GiB - 1", raw({2, 0, 2, '\\', 'x', 0x7F, 0xFF, 0xFF, 0xFF, 'a', 10}), FAILED},
        {"data length swallowing the end record", raw({2, 0, 2, '\\', 'x', 0, 0, 0, 2, 'a', 10}), FAILED},
        {"data length one past the stream", raw({2, 0, 2, '\\', 'x', 0, 0, 0, 3, 'a', 10}), FAILED},
        {"name length 65535", raw({1, 0xFF, 0xFF, '\\', 'x', 10}), FAILED},
        {"name length 0", raw({1, 0, 0, 10}), FAILED},
        {"empty stream", {}, FAILED},
        {"no end record", raw({1, 0, 2, '\\', 'd'}), FAILED},
        {"unknown type ends the stream", raw({1, 0, 2, '\\', 'd', 0, 2, 0, 2, '\\', 'x'}), INSTALLED},
        // One unsafe name stands for all; which names are unsafe is the name check's own table.
        {"unsafe name", stream_of({{"\\d", nullptr}, {"\\d\\..\\..\\..\\escaped.txt", "x"}}), FAILED},
        {"file over a directory of the same name", stream_of({{"\\d", nullptr}, {"\\d", "x"}}), FAILED},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> file =
            build_installer(bytes_of("MZ"), {encode(c.stream)}, uint32_t(c.stream.size()), PAYLOAD_FLAG_CHECKSUMS);
        EXPECT_STREQ(result_name(bench.run(file)), result_name(c.result)) << c.what;
        EXPECT_EQ(bench.outside(), "") << c.what;
    }
}

namespace {

// A file of 300 bytes spanning three blocks as pieces of 100 bytes, "\d\big.bin", each block repeating "\d";
// block 0 also holds app.exe before it, block 2 end.txt after it.
struct SpanningCase {
    const char* what;
    // Applied to the three blocks' streams before they are encoded: (block, writer) for each block's records.
    std::function<void(int, RecordStreamWriter&, const std::vector<uint8_t>&)> pieces;
    int result;
    WalkResult walk;  // the walk's result when the installation failed on a record
};

void normal_piece(int block, RecordStreamWriter& w, const std::vector<uint8_t>& big) {
    w.add_piece("\\d\\big.bin", 300, uint32_t(100 * block), big.data() + 100 * block, 100);
}

std::vector<uint8_t> spanning_installer(const SpanningCase& c, const std::vector<uint8_t>& big) {
    std::vector<std::vector<uint8_t>> blocks;
    uint32_t total = 0;
    for (int block = 0; block < 3; ++block) {
        RecordStreamWriter w;
        if (block == 0) w.add_file("\\app.exe", bytes_of("MZ cashier"));
        w.add_dir("\\d");
        c.pieces(block, w, big);
        if (block == 2) w.add_file("\\end.txt", bytes_of("end"));
        const std::vector<uint8_t> stream = w.finish();
        total += uint32_t(stream.size());
        blocks.push_back(encode(stream));
    }
    return build_installer(bytes_of("MZ"), blocks, total, PAYLOAD_FLAG_CHECKSUMS);
}

}  // namespace

TEST(MalformedInstaller, FileSpanningBlocks) {
    const std::vector<uint8_t> big = random_bytes(300, 77);
    auto piece = [](int at_block, uint32_t whole, uint32_t offset, uint32_t length, const char* name = "\\d\\big.bin") {
        return [=](int block, RecordStreamWriter& w, const std::vector<uint8_t>& data) {
            if (block != at_block) return normal_piece(block, w, data);
            // The block's share of the file, cut or padded with zeros to the piece's length.
            const size_t from = size_t(100 * block);
            std::vector<uint8_t> bytes(data.begin() + std::ptrdiff_t(from),
                                       data.begin() + std::ptrdiff_t(std::min(data.size(), from + length)));
            bytes.resize(length, 0);
            w.add_piece(name, whole, offset, bytes.data(), length);
        };
    };
    const SpanningCase cases[] = {
        {"three pieces in order", normal_piece, INSTALLED, WalkResult::record},
        {"the middle piece one byte late", piece(1, 300, 101, 100), FAILED, WalkResult::bad_piece},
        {"the middle piece one byte early", piece(1, 300, 99, 100), FAILED, WalkResult::bad_piece},
        {"the middle piece under another name", piece(1, 300, 100, 100, "\\d\\other.bin"), FAILED,
         WalkResult::bad_piece},
        {"the middle piece with another size", piece(1, 301, 100, 100), FAILED, WalkResult::bad_piece},
        {"the last piece past the file's size", piece(2, 300, 200, 101), FAILED, WalkResult::bad_piece},
        {"the first piece at offset 100", piece(0, 300, 100, 100), FAILED, WalkResult::bad_piece},
        {"the last piece short: the payload ends first", piece(2, 300, 200, 99), FAILED, WalkResult::unfinished},
        {"the middle piece missing: a gap",
         [](int block, RecordStreamWriter& w, const std::vector<uint8_t>& data) {
             if (block != 1) normal_piece(block, w, data);
         },
         FAILED, WalkResult::bad_piece},
        {"a file between two pieces",
         [](int block, RecordStreamWriter& w, const std::vector<uint8_t>& data) {
             if (block == 1) w.add_file("\\d\\between.txt", bytes_of("x"));
             normal_piece(block, w, data);
         },
         FAILED, WalkResult::unfinished},
        {"the last piece empty: the file stays short",
         [](int block, RecordStreamWriter& w, const std::vector<uint8_t>& data) {
             if (block == 2) w.add_piece("\\d\\big.bin", 300, 200, data.data() + 200, 0);
             else normal_piece(block, w, data);
         },
         FAILED, WalkResult::unfinished},
    };
    Bench bench;
    for (const SpanningCase& c : cases) {
        EXPECT_STREQ(result_name(bench.run(spanning_installer(c, big))), result_name(c.result)) << c.what;
        EXPECT_EQ(bench.outside(), "") << c.what;
        const std::string d = bench.install_dir() + "d" + std::string(1, native_separator());
        // The file appears whole or not at all; its temporary never stays.
        EXPECT_FALSE(file_exists(d + TEMPORARY_NAME)) << c.what;
        if (c.result == INSTALLED) {
            EXPECT_EQ(read_file(d + "big.bin"), big) << c.what;
            EXPECT_EQ(read_file(bench.install_dir() + "end.txt"), bytes_of("end")) << c.what;
        } else {
            EXPECT_FALSE(file_exists(d + "big.bin")) << c.what;
            EXPECT_FALSE(file_exists(bench.install_dir() + "end.txt")) << c.what;
            EXPECT_EQ(bench.last_walk(), int(c.walk)) << c.what;
        }
    }
}
