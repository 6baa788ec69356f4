// The pre-flight: what it refuses before anything is written, what it needs of the volume, and that a refusal
// leaves the disk as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "container_writer.h"
#include "payload/preflight.h"
#include "support/test_support.h"

namespace {

// A manifest as pack writes it, from (name, size) pairs; a negative size makes a directory.
struct ManifestFixture {
    ManifestFixture(std::initializer_list<std::pair<std::string, int64_t>> entries) {
        ManifestWriter writer;
        for (const auto& e : entries)
            if (e.second < 0) writer.add_dir(e.first);
            else writer.add_file(e.first, uint32_t(e.second));
        bytes = writer.finish();
    }
    Manifest manifest() { return Manifest{bytes.data(), int32_t(bytes.size())}; }
    std::vector<uint8_t> bytes;
};

std::string sep() { return std::string(1, native_separator()); }

}  // namespace

TEST(Preflight, RefusalsNameTheirPathAndChangeNothing) {
    // Every case is checked against a tree made beforehand: the tree must be the same afterwards.
    const std::string long_name = "\\" + std::string(300, 'n') + ".txt";
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> before;  // files ("" content) and folders (trailing sep)
        std::string install;                                      // below the scratch folder
        ManifestFixture manifest;
        PreflightResult check;
        std::string path;  // below the scratch folder; "" for none
    } cases[] = {
        {"a name longer than the system takes",
         {},
         "a" + sep() + "inst",
         {{"\\ok.txt", 1}, {long_name, 1}},
         PreflightResult::path,
         "a" + sep() + "inst" + sep() + std::string(300, 'n') + ".txt"},
        {"a file where a folder goes",
         {{"inst" + sep(), ""}, {"inst" + sep() + "data", "old"}},
         "inst",
         {{"\\data", -1}, {"\\data\\menu.txt", 4}},
         PreflightResult::blocked,
         "inst" + sep() + "data"},
        {"a folder where a file goes",
         {{"inst" + sep() + "cashier.exe" + sep(), ""}},
         "inst",
         {{"\\cashier.exe", 10}},
         PreflightResult::blocked,
         "inst" + sep() + "cashier.exe"},
        {"a file where the install folder's parent goes",
         {{"taken", "x"}},
         "taken" + sep() + "inst",
         {{"\\a.txt", 1}},
         PreflightResult::blocked,
         "taken"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir scratch;
        for (const auto& entry : c.before) {
            if (entry.first.back() == native_separator()) std::filesystem::create_directories(scratch / entry.first);
            else ASSERT_TRUE(write_file_bytes(scratch / entry.first, bytes_of(entry.second)));
        }
        const std::vector<std::string> tree = list_tree(scratch.path());
        std::unique_ptr<PreflightReport> report(new PreflightReport);
        EXPECT_EQ(preflight((scratch / c.install + sep()).c_str(), c.manifest.manifest(), report.get()), c.check);
        EXPECT_EQ(report->check, c.check);
        if (!c.path.empty()) {
            EXPECT_EQ(std::string(report->path), scratch / c.path);
        }
        EXPECT_EQ(list_tree(scratch.path()), tree);
    }
}

TEST(Preflight, NoRoomSaysWhatTheInstallationNeedsAndWhatIsFree) {
    // 200 files of 4 GiB less a byte: about 800 GiB, more than the test machine's disk holds.
    ScratchDir scratch;
    ManifestWriter huge;
    for (int i = 0; i < 200; ++i) huge.add_file("\\big" + std::to_string(i) + ".bin", 0xFFFFFFFFu);
    const std::vector<uint8_t> bytes = huge.finish();
    std::unique_ptr<PreflightReport> report(new PreflightReport);
    ASSERT_EQ(preflight((scratch / "inst" + sep()).c_str(),
                        Manifest{const_cast<uint8_t*>(bytes.data()), int32_t(bytes.size())}, report.get()),
              PreflightResult::no_room);
    // Each file rounded up to 4 KiB clusters, with a cluster of bookkeeping: 200 x (4294967296 + 4096), and 4 MiB.
    EXPECT_EQ(report->needed, 858998472704ull);
    EXPECT_LT(report->available, report->needed);
    EXPECT_NE(std::string(report->volume), "");
    EXPECT_EQ(list_tree(scratch.path()), std::vector<std::string>{});
}

TEST(Preflight, RoomCountsTheReplacedFilesAndTheTemporaryAtThePeak) {
    // An upgrade: a.bin grows from 10000 to 20000 bytes, b.bin is new, the folder d is new. With 4 KiB clusters:
    // a.bin's temporary (20480) beside its old copy, then +8192 net; d takes a cluster; b.bin 8192 and a cluster
    // of bookkeeping: 24576 at the peak, and the 4 MiB margin.
    ScratchDir scratch;
    std::filesystem::create_directories(scratch / "inst");
    ASSERT_TRUE(write_file_bytes(scratch / "inst" + sep() + "a.bin", random_bytes(10000, 1)));
    ManifestFixture m({{"\\a.bin", 20000}, {"\\d", -1}, {"\\d\\b.bin", 5000}});
    std::unique_ptr<PreflightReport> report(new PreflightReport);
    ASSERT_EQ(preflight((scratch / "inst" + sep()).c_str(), m.manifest(), report.get()), PreflightResult::ok);
    EXPECT_EQ(report->needed, 24576ull + 4194304ull);
    EXPECT_EQ(list_tree(scratch.path()), (std::vector<std::string>{"inst/", "inst/a.bin"}));
}

TEST(Preflight, TheProbeGoesAndTheFoldersItNeededGoWithIt) {
    for (const char* install : {"inst",
                                "new"
                                "/"
                                "deeper"
                                "/"
                                "inst"}) {
        SCOPED_TRACE(install);
        ScratchDir scratch;
        std::string relative = install;
        for (char& ch : relative)
            if (ch == '/') ch = native_separator();
        std::filesystem::create_directories(scratch / "inst");
        ManifestFixture m({{"\\app.exe", 100}});
        std::unique_ptr<PreflightReport> report(new PreflightReport);
        EXPECT_EQ(preflight((scratch / relative + sep()).c_str(), m.manifest(), report.get()), PreflightResult::ok);
        EXPECT_EQ(list_tree(scratch.path()), (std::vector<std::string>{"inst/"}));
    }
}

TEST(Preflight, TemporariesOfAKilledRunAreRemovedAndNothingElse) {
    ScratchDir scratch;
    const std::string inst = scratch / "inst" + sep();
    std::filesystem::create_directories(inst + "data");
    for (const std::string& path : {inst + "~jt$new.tmp", inst + "data" + sep() + "~jt$new.tmp",
                                    inst + "data" + sep() + "keep.txt", inst + "~jt$other.tmp"})
        ASSERT_TRUE(write_file_bytes(path, bytes_of("x")));
    ManifestFixture m({{"\\a.txt", 1}, {"\\data", -1}, {"\\data\\menu.txt", 1}});
    remove_temporaries(inst.c_str(), m.manifest());
    EXPECT_EQ(list_tree(scratch.path()),
              (std::vector<std::string>{"inst/", "inst/data/", "inst/data/keep.txt", "inst/~jt$other.tmp"}));
}
