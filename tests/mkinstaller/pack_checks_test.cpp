// What pack checks before any work: the stub it puts in front, and the output it writes.
#include <gtest/gtest.h>

#include <filesystem>

#include "exit_codes.h"
#include "support/test_support.h"
#include "tree_fixture.h"

namespace fs = std::filesystem;

namespace {

// True when a temporary of the output (out.partial-XXXXXXXX) is left in its folder.
bool temporary_left(const std::string& out) {
    const fs::path path(out);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(path.parent_path(), ec))
        if (entry.path().filename().string().rfind(path.filename().string() + ".partial", 0) == 0) return true;
    return false;
}

}  // namespace

TEST(Stub, IsAWindowsProgramThatIsNoInstallerAndReadsWhatPackWrites) {
    ScratchDir scratch;
    const fs::path dir(scratch.path());
    const std::string src = scratch / "src";
    write_tree(src, {{"a.txt", "alpha"}});
    auto text_of = [](const std::string& path) {
        const std::vector<uint8_t> bytes = read_file(path);
        return std::string(bytes.begin(), bytes.end());
    };
    auto file = [&](const std::string& name, const std::string& bytes) {
        write_file_bytes(scratch / name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
        return scratch / name;
    };
    const std::vector<uint8_t> noise_bytes = random_bytes(300, 7);
    std::string no_pe = "MZ";
    no_pe.resize(100, '\0');
    no_pe[0x3C] = 0x20;
    no_pe[0x3D] = 0x02;  // "PE\0\0" said to be at 0x220, past the file's end
    const std::string installer = scratch / "installer.exe";
    ASSERT_EQ(run_cli({"pack", "--stub", make_stub(dir), "--out", installer, ALLOW_MISSING_PROGRAMS, src}).status,
              MKI_OK);
    fs::create_directory(scratch / "folder.exe");

    const std::string not_program = "not a Windows program: it begins with ";
    const std::string older =
        "a program image from an older build that cannot read stored blocks (it lacks the reader "
        "mark); rebuild it, or pack with --no-stored\n";
    const std::string packed =
        "already an installer: pass its program image (its first 512 bytes; a payload of 1 "
        "block follows them)\n";
    struct Case {
        const char* what;
        std::string stub;
        int status;          // the same with and without --no-stored, unless stored_status says otherwise
        std::string reason;  // after "mkinstaller: STUB: "; a prefix when it ends without a newline
        int no_stored_status;
    } cases[] = {
        {"random bytes", file("noise.bin", std::string(noise_bytes.begin(), noise_bytes.end())), MKI_FAILED,
         not_program, MKI_FAILED},
        {"a text file", file("notes.txt", "#!/bin/sh\necho hello\n"), MKI_FAILED,
         not_program + "23 21 2F 62, where a program begins with \"MZ\"\n", MKI_FAILED},
        {"a Linux program",
         file("tool", std::string("\x7f"
                                  "ELF\x02\x01\x01",
                                  7) +
                          std::string(57, '\0')),
         MKI_FAILED, not_program + "7F 45 4C 46, where a program begins with \"MZ\"\n", MKI_FAILED},
        {"an empty file", file("empty.exe", ""), MKI_FAILED, "not a Windows program: the file is empty\n", MKI_FAILED},
        {"MZ without a PE header", file("dos.exe", no_pe), MKI_FAILED,
         "not a Windows program: it begins with \"MZ\", but its header pointer at 0x3C leads to no \"PE\\0\\0\" "
         "inside its 100 bytes\n",
         MKI_FAILED},
        {"a program image without the reader mark", file("old.exe", text_of(make_stub(dir, false))), MKI_FAILED, older,
         MKI_OK},
        {"a packed installer", installer, MKI_FAILED, packed, MKI_FAILED},
        {"a directory", scratch / "folder.exe", MKI_FAILED, "cannot be read: Is a directory\n", MKI_FAILED},
        {"a missing file", scratch / "missing.exe", MKI_FAILED, "cannot be opened: No such file or directory\n",
         MKI_FAILED},
        {"a program image with the mark", make_stub(dir), MKI_OK, "", MKI_OK},
    };
    for (const Case& c : cases) {
        for (bool no_stored : {false, true}) {
            const std::string out = scratch / "setup.exe";
            std::vector<std::string> args = {"pack", "--stub", c.stub, "--out", out, ALLOW_MISSING_PROGRAMS};
            if (no_stored) args.push_back("--no-stored");
            args.push_back(src);
            CliRun run = run_cli(args);
            const int status = no_stored ? c.no_stored_status : c.status;
            EXPECT_EQ(run.status, status) << c.what << (no_stored ? ", --no-stored" : "") << "\n" << run.err;
            if (status == MKI_OK) {
                EXPECT_EQ(run.err, "") << c.what;
                EXPECT_EQ(run_cli({"verify", out}).status, MKI_OK) << c.what;
                fs::remove(out);
                continue;
            }
            const std::string expected = "mkinstaller: " + c.stub + ": " + c.reason;
            if (c.reason.back() == '\n') {
                EXPECT_EQ(run.err, expected) << c.what;
            } else {
                EXPECT_EQ(run.err.substr(0, expected.size()), expected) << c.what;
            }
            EXPECT_FALSE(file_exists(out)) << c.what;
            EXPECT_FALSE(temporary_left(out)) << c.what;
        }
    }
}

TEST(Output, IsCheckedBeforeTheStubIsReadOrAnythingPacked) {
    ScratchDir scratch;
    const std::string src = scratch / "src";
    write_tree(src, {{"a.txt", "alpha"}, {"d/b.txt", "beta"}});
    const std::string stub = make_stub(fs::path(scratch.path()));
    const std::string sep(1, native_separator());
    const std::string fifo = scratch / "pipe.exe", folder = scratch / "folder.exe";
    const bool have_fifo = make_fifo(fifo);
    fs::create_directory(folder);
    const std::string nowhere = scratch / "no-such-folder" + sep + "setup.exe";
    const std::string tail = "; pack writes only a regular file and replaces nothing else\n";
    struct Case {
        const char* what;
        std::string out;
        std::string stub;
        std::string err;  // all of standard error
    } cases[] = {
        {"a FIFO", fifo, stub, "mkinstaller: " + fifo + ": is a FIFO (named pipe)" + tail},
        {"a directory", folder, stub, "mkinstaller: " + folder + ": is a directory" + tail},
        // The stub is missing too: the output is what is reported, so it was looked at first.
        {"a missing folder", nowhere, scratch / "missing.exe",
         "mkinstaller: " + nowhere +
             ": cannot be written: its temporary file beside it cannot be created: No such file "
             "or directory\n"},
        {"in the source directory", src + sep + "setup.exe", stub,
         "mkinstaller: " + src + sep + "setup.exe: lies inside SRC_DIR " + src +
             ", where the installer would pack itself; write it elsewhere\n"},
        {"below the source directory", src + sep + "d" + sep + "setup.exe", stub,
         "mkinstaller: " + src + sep + "d" + sep + "setup.exe: lies inside SRC_DIR " + src +
             ", where the installer would pack itself; write it elsewhere\n"},
    };
    for (const Case& c : cases) {
        if (c.out == fifo && !have_fifo) continue;  // no named pipes on this system
        CliRun run = run_cli({"pack", "--stub", c.stub, "--out", c.out, src});
        EXPECT_EQ(run.status, MKI_FAILED) << c.what;
        EXPECT_EQ(run.err, c.err) << c.what;
        EXPECT_EQ(run.out, "") << c.what << ": nothing was packed";
        EXPECT_FALSE(temporary_left(c.out)) << c.what;
    }
    if (have_fifo) {
        EXPECT_TRUE(is_fifo(fifo));
    }
    EXPECT_TRUE(dir_exists(folder));
    EXPECT_EQ(list_tree(folder), std::vector<std::string>{});
    EXPECT_EQ(list_tree(src), (std::vector<std::string>{"a.txt", "d/", "d/b.txt"}));
}
