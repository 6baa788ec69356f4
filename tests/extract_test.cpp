// Record stream extraction and whole-payload installation into scratch directories.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "container_writer.h"
#include "payload/extract.h"
#include "payload/pipeline.h"
#include "payload/payload.h"
#include "support/test_support.h"

namespace {

struct Outcome {
    int status;
    std::string trace;
};

Outcome extract(const std::vector<uint8_t>& stream, const std::string& dir, ProgressRecorder* progress = nullptr) {
    const ProgressSink sink = progress ? progress->sink() : ProgressSink{};
    testing::internal::CaptureStdout();
    int status = extract_records(stream.data(), int32_t(stream.size()), dir.c_str(), progress ? &sink : nullptr);
    fflush(stdout);
    return {status, testing::internal::GetCapturedStdout()};
}

// Makes dir the working directory while alive.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& dir) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~WorkingDirectory() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

// The trace after the install directory's prefix lines.
std::string records_trace(const std::string& trace) { return trace.substr(trace.find("start dec\n")); }

// Installs block streams with the real encoder through the installer's own path.
struct Installation {
    int status;
    std::string trace;
};
Installation install(const std::vector<std::vector<uint8_t>>& streams, const std::string& dir,
                     ProgressRecorder* progress = nullptr) {
    std::vector<PayloadBlock> storage(streams.size());
    std::vector<std::vector<uint8_t>> encoded;
    std::vector<PayloadBlock*> blocks;
    uint32_t total = 0;
    for (auto& s : streams) {
        encoded.push_back(encode(s));
        total += uint32_t(s.size());
    }
    for (size_t i = 0; i < encoded.size(); ++i) {
        storage[i] = PayloadBlock{encoded[i].data(), int32_t(encoded[i].size())};
        blocks.push_back(&storage[i]);
    }
    const ProgressSink sink = progress ? progress->sink() : ProgressSink{};
    testing::internal::CaptureStdout();
    int status =
        install_payload(dir.c_str(), blocks.data(), int32_t(blocks.size()), total, false, progress ? &sink : nullptr);
    fflush(stdout);
    return {status, testing::internal::GetCapturedStdout()};
}

}  // namespace

TEST(ExtractRecords, TheTwentyFourByteExample) {
    const std::vector<uint8_t> stream = {0x01, 0x00, 0x02, 0x5C, 0x61, 0x02, 0x00, 0x08, 0x5C, 0x61, 0x5C, 0x62,
                                         0x2E, 0x74, 0x78, 0x74, 0x00, 0x00, 0x00, 0x03, 0x61, 0x62, 0x63, 0x0A};
    ScratchDir scratch;
    const std::string dir = scratch / "inst" + native_separator();
    ProgressRecorder meter;
    Outcome r = extract(stream, dir, &meter);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(installed_path(dir, "/a/b.txt", "\\a\\b.txt")), bytes_of("abc"));
    EXPECT_EQ(meter.position(), 23);
    EXPECT_EQ(records_trace(r.trace), "start dec\nmkdir " + installed_path(dir, "/a", "\\a") + "\nextra end\n");
    EXPECT_EQ(list_tree(dir), (std::vector<std::string>{"a/", "a/b.txt"}));
}

TEST(ExtractRecords, CreatesEveryPrefixOfTheInstallDirectory) {
    ScratchDir scratch;
    const std::string sep(1, native_separator());
    {
        // A relative directory, as mkinstaller extract may be given one: the whole trace is known.
        WorkingDirectory in(scratch.path());
        Outcome r = extract({10}, "one" + sep + "two" + sep);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.trace, "mkdir one\nmkdir one" + sep + "two\nstart dec\nextra end\n");
    }
    EXPECT_TRUE(dir_exists(scratch / "one" + sep + "two"));

    // An absolute one: the lines above the scratch directory depend on where it is; its own and those below do not.
    const std::string top = scratch.path().substr(0, scratch.path().size() - 1);
    Outcome r = extract({10}, scratch / "three" + sep + "four" + sep);
    EXPECT_EQ(r.status, 0);
    const std::string tail = "mkdir " + top + "\nmkdir " + top + sep + "three\nmkdir " + top + sep + "three" + sep +
                             "four\nstart dec\nextra end\n";
    ASSERT_GT(r.trace.size(), tail.size()) << r.trace;
    EXPECT_EQ(r.trace.substr(r.trace.size() - tail.size()), tail);
    EXPECT_EQ(r.trace.rfind("mkdir ", 0), 0u) << r.trace;
    EXPECT_TRUE(dir_exists(scratch / "three" + sep + "four"));
}

TEST(ExtractRecords, EndAndUnknownTypes) {
    struct Case {
        std::vector<uint8_t> stream;
        const char* trace;
    } cases[] = {
        {{10}, "start dec\nextra end\n"},
        {{0}, "start dec\ninvalid type 0\nextra end\n"},
        {{255}, "start dec\ninvalid type 255\nextra end\n"},
        {{10, 1, 2, 3}, "start dec\nextra end\n"},  // bytes after the end record are not read
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        Outcome r = extract(c.stream, scratch.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(records_trace(r.trace), c.trace);
        EXPECT_TRUE(list_tree(scratch.path()).empty());
    }
}

TEST(ExtractRecords, EmptyFilesAndOverwriting) {
    ScratchDir scratch;
    const std::string dir = scratch.path();
    ASSERT_TRUE(write_file_bytes(dir + "keep.txt", bytes_of("mine")));
    ASSERT_TRUE(write_file_bytes(dir + "empty.txt", bytes_of("old content")));
    ASSERT_TRUE(write_file_bytes(dir + "new.txt", bytes_of("a much longer old content")));
    Outcome r = extract(stream_of({{"\\empty.txt", ""}, {"\\new.txt", "new"}, {"\\zero.bin", ""}}), dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir + "empty.txt"), std::vector<uint8_t>{});
    EXPECT_EQ(read_file(dir + "new.txt"), bytes_of("new"));
    EXPECT_TRUE(file_exists(dir + "zero.bin"));
    EXPECT_EQ(read_file(dir + "keep.txt"), bytes_of("mine"));
}

TEST(ExtractRecords, MalformedStreamsFailWithoutWritingTheBrokenRecord) {
    const std::vector<uint8_t> good = stream_of({{"\\ok.txt", "fine"}});
    struct Case {
        const char* what;
        std::vector<uint8_t> stream;
    } cases[] = {
        {"empty stream", {}},
        {"name length cut", {1, 0}},
        {"name past the end", {2, 0, 9, '\\', 'x'}},
        {"data length cut", {2, 0, 2, '\\', 'x', 0, 0}},
        {"data past the end", {2, 0, 2, '\\', 'x', 0, 0, 0, 9, 'a', 'b', 10}},
        {"data length over 2 GiB", {2, 0, 2, '\\', 'x', 0x80, 0, 0, 0, 10}},
        {"no final type byte", std::vector<uint8_t>(good.begin(), good.end() - 1)},
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        EXPECT_EQ(extract(c.stream, scratch.path()).status, 1) << c.what;
        EXPECT_FALSE(file_exists(scratch / "x")) << c.what;
    }
}

TEST(ExtractRecords, JoinedPathOverTheLimitFails) {
    ScratchDir scratch;
    const std::string dir = scratch.path();
    const size_t room = 1023 - dir.size();
    std::string fits = "\\" + std::string(room - 1, 'f');  // exactly 1023 bytes joined
    std::string over = "\\" + std::string(room, 'g');
    // Long single components exceed the file system's name limit; only the limit check is at stake here.
    EXPECT_NE(extract(stream_of({{over, "x"}}), dir).status, 0);
    Outcome r = extract(stream_of({{fits, nullptr}}), dir);
    EXPECT_EQ(r.status, 0);
}

TEST(ExtractRecords, AnUnsafeNameIsRefusedBeforeAnythingIsWritten) {
    // Which names are unsafe is the name check's own test; here one shows the check stops extraction.
    ScratchDir scratch;
    const std::string dir = scratch / "inst" + native_separator();
    RecordStreamWriter w;
    w.add_dir("\\sub");
    w.add_file("\\sub\\..\\..\\escaped.txt", bytes_of("evil"));
    w.add_file("\\after.txt", bytes_of("late"));
    EXPECT_EQ(extract(w.finish(), dir).status, 1);
    EXPECT_EQ(list_tree(scratch.path()), (std::vector<std::string>{"inst/", "inst/sub/"}));
}

TEST(ExtractRecords, DoubleByteNamesEndingIn5CStayWhole) {
    // 乗 is 81 5C and 嘰 is 87 5C in code page 936: the 0x5C byte is no separator.
    ScratchDir scratch;
    const std::string dir = scratch.path();
    Outcome r = extract(stream_of({{"\\\x81\x5C", nullptr}, {"\\\x81\x5C\\\x87\x5C.txt", "dbcs"}}), dir);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(read_file(installed_path(dir, u8"/乗/嘰.txt", "\\\x81\x5C\\\x87\x5C.txt")), bytes_of("dbcs"));
    EXPECT_EQ(list_tree(dir).size(), 2u);
}

TEST(ExtractRecords, FileThatCannotBeWrittenFailsAfterAdvancingAndKeepsTheOldFile) {
    // Each case puts something in the way of "sub/blocked" before extraction. A directory at its name lets
    // the temporary be written whole and then refuses the replace. /dev/full at the temporary's name in "sub"
    // takes the open and refuses every byte, as a full disk does: a short file fails only at the flush, a long
    // one already in fwrite; the old "blocked" stays as it was.
    namespace fs = std::filesystem;
    struct Case {
        const char* what;
        size_t size;
        bool full_device;
    };
    const Case cases[] = {
        {"a directory where the file should go", 1, false},
        {"a full device, short file", 10, true},
        {"a full device, long file", 100000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.full_device && !fs::exists("/dev/full")) continue;  // not on Windows
        ScratchDir scratch;
        const std::string dir = scratch.path();
        fs::create_directory(dir + "sub");
        if (c.full_device) {
            fs::create_symlink("/dev/full", dir + "sub/~jt$new.tmp");
            ASSERT_TRUE(write_file_bytes(dir + "sub/blocked", bytes_of("old")));
        } else {
            fs::create_directory(dir + "sub/blocked");
            ASSERT_TRUE(write_file_bytes(dir + "sub/blocked/inside", bytes_of("kept")));
        }
        const std::string content(c.size, 'z');
        std::vector<uint8_t> stream = stream_of(
            {{"\\first.txt", "1"}, {"\\sub", nullptr}, {"\\sub\\blocked", content.c_str()}, {"\\last.txt", "2"}});
        ProgressRecorder meter;
        Outcome r = extract(stream, dir, &meter);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(read_file(dir + "first.txt"), bytes_of("1"));
        EXPECT_FALSE(file_exists(dir + "last.txt"));
        if (c.full_device) EXPECT_EQ(read_file(dir + "sub/blocked"), bytes_of("old"));
        else EXPECT_EQ(read_file(dir + "sub/blocked/inside"), bytes_of("kept"));
        // Neither the half-written temporary nor the complete one that could not take its name is left.
        const std::vector<std::string> left =
            c.full_device ? std::vector<std::string>{"first.txt", "sub/", "sub/blocked"}
                          : std::vector<std::string>{"first.txt", "sub/", "sub/blocked/", "sub/blocked/inside"};
        EXPECT_EQ(list_tree(dir), left);
        // Advanced past the failed record, not past the last one.
        EXPECT_EQ(meter.position(), int64_t(stream.size() - (1 + 2 + 9 + 4 + 1) - 1));
    }
}

TEST(InstallPayload, TwoBlocksEndTwoUnitsShortOfTheRange) {
    const std::vector<uint8_t> first = stream_of({{"\\app.exe", "MZ cashier"}, {"\\svc.exe", "MZ service"}});
    RecordStreamWriter w;
    w.add_dir("\\data");
    w.add_file("\\data\\menu.txt", random_bytes(3 * 1048576, 9));
    w.add_dir("\\data\\empty");
    const std::vector<uint8_t> second = w.finish();
    const int32_t total = int32_t(first.size() + second.size());

    ScratchDir scratch;
    const std::string dir = scratch / "inst" + native_separator();
    ProgressRecorder meter;
    Installation r = install({first, second}, dir, &meter);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(meter.maximum(), 3 * total);
    // The end bytes of both streams and the trailing directory record are never reported.
    EXPECT_EQ(meter.position(), 3 * total - 2 - int32_t(1 + 2 + 11));
    EXPECT_EQ(read_file(dir + "app.exe"), bytes_of("MZ cashier"));
    EXPECT_EQ(read_file(installed_path(dir, "/data/menu.txt", "\\data\\menu.txt")), random_bytes(3 * 1048576, 9));
    EXPECT_TRUE(dir_exists(installed_path(dir, "/data/empty", "\\data\\empty")));
    // Each block's trace starts with the install directory's prefixes.
    size_t starts = 0;
    for (size_t at = 0; (at = r.trace.find("start dec\n", at)) != std::string::npos; ++at) ++starts;
    EXPECT_EQ(starts, 2u);
}

TEST(InstallPayload, FailureInTheSecondBlockKeepsWhatWasWritten) {
    const std::vector<uint8_t> first = stream_of({{"\\app.exe", "MZ"}});
    const std::vector<uint8_t> second = stream_of({{"\\ok.txt", "ok"}, {"\\blocked", "x"}, {"\\never.txt", "no"}});
    ScratchDir scratch;
    const std::string dir = scratch.path();
    ASSERT_TRUE(std::filesystem::create_directory(dir + "blocked"));
    Installation r = install({first, second}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(file_exists(dir + "app.exe"));
    EXPECT_TRUE(file_exists(dir + "ok.txt"));
    EXPECT_FALSE(file_exists(dir + "never.txt"));
}

TEST(InstallPayload, DamagedBlockStopsBeforeLaterBlocks) {
    std::vector<uint8_t> bad = encode(random_bytes(100000, 5));
    bad.resize(bad.size() / 2);
    std::vector<uint8_t> good = encode(stream_of({{"\\later.txt", "x"}}));
    PayloadBlock b0{bad.data(), int32_t(bad.size())}, b1{good.data(), int32_t(good.size())};
    PayloadBlock* blocks[] = {&b0, &b1};
    ScratchDir scratch;
    testing::internal::CaptureStdout();
    EXPECT_EQ(install_payload(scratch.path().c_str(), blocks, 2, 100000 + 14, false, nullptr), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(list_tree(scratch.path()).empty());
}

TEST(InstallPayload, NoBlocksIsSuccessAndAHugeTotalKeepsThePositiveRange) {
    ProgressRecorder meter;
    const ProgressSink sink = meter.sink();
    EXPECT_EQ(install_payload("unused", nullptr, 0, 0xFFFFFFFFu, false, &sink), 0);
    EXPECT_EQ(meter.maximum(), 0x7FFFFFFF);
}
