// The command line: exit codes and messages, help, the progress bar, and the built program itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "container_writer.h"
#include "exit_codes.h"
#include "extract_command.h"
#include "pack.h"
#include "support/test_support.h"
#include "tree_fixture.h"

namespace fs = std::filesystem;

namespace {

struct Fixture {
    ScratchDir scratch;
    std::string src = scratch / "src";
    std::string stub;
    std::string installer = scratch / "setup.exe";
    std::string blocked = scratch / "blocked";  // a file where extract wants a directory

    Fixture() {
        write_tree(src, with_programs({{"a.txt", "alpha"}, {"d/b.txt", "beta"}}));
        stub = make_stub(fs::path(scratch.path()));
        write_file_bytes(blocked, bytes_of("in the way"));
        CliRun run = run_cli({"pack", "--stub", stub, "--out", installer, src});
        EXPECT_EQ(run.status, MKI_OK) << run.err;
    }
};

}  // namespace

TEST(Cli, ExitCodesAndMessages) {
    Fixture f;
    const std::string missing = f.scratch / "missing.exe";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;  // the start of standard error
    } cases[] = {
        {{}, MKI_USAGE, "mkinstaller: needs a command (pack, list, verify, extract, help)\n"},
        {{"frobnicate"}, MKI_USAGE, "mkinstaller: frobnicate: unknown command"},
        {{"pack", "--out", f.installer, f.src}, MKI_USAGE, "mkinstaller: pack: needs --stub"},
        {{"pack", "--stub", f.stub, f.src}, MKI_USAGE, "mkinstaller: pack: needs --out"},
        {{"pack", "--stub", f.stub, "--out", f.installer}, MKI_USAGE, "mkinstaller: pack: needs SRC_DIR"},
        {{"pack", "--stub", f.stub, "--out", f.installer, "--level", "10", f.src},
         MKI_USAGE,
         "mkinstaller: --level: must be 0-9"},
        {{"pack", "--stub", f.stub, "--out", f.installer, "--flags", "4", f.src}, MKI_USAGE, "mkinstaller: --flags:"},
        {{"pack", "--stub", f.stub, "--out", f.installer, "--flags", "128", f.src}, MKI_USAGE, "mkinstaller: --flags:"},
        {{"pack", "--stub", f.stub, "--out", f.installer, "--block-size", "0", f.src},
         MKI_USAGE,
         "mkinstaller: --block-size:"},
        {{"pack", "--stub", f.stub, "--out", f.installer, "--dict", "2K", f.src}, MKI_USAGE, "mkinstaller: --dict:"},
        {{"pack", "--stub", f.stub, "--out", f.installer, f.src, "--level"},
         MKI_USAGE,
         "mkinstaller: --level: needs a value"},
        {{"pack", "--stub", f.stub, "--out", f.installer, "--fast", f.src},
         MKI_USAGE,
         "mkinstaller: --fast: unknown option"},
        {{"pack", "--stub", f.stub, "--out", f.installer, "--jobs", "0", f.src},
         MKI_USAGE,
         "mkinstaller: --jobs: must be 1-256"},
        {{"pack", "--stub", f.stub, "--out", f.installer, "--jobs", "257", f.src},
         MKI_USAGE,
         "mkinstaller: --jobs: must be 1-256"},
        {{"pack", "--stub", missing, "--out", f.installer, f.src},
         MKI_FAILED,
         "mkinstaller: " + missing + ": cannot be opened"},
        {{"list"}, MKI_USAGE, "mkinstaller: list: takes INSTALLER"},
        {{"extract", f.installer}, MKI_USAGE, "mkinstaller: extract: takes INSTALLER DIR"},
        {{"verify", missing}, MKI_DAMAGED, "mkinstaller: " + missing + ": cannot be opened"},
        {{"list", f.stub}, MKI_DAMAGED, "mkinstaller: " + f.stub + ": "},
        {{"extract", f.stub, f.scratch / "out"}, MKI_DAMAGED, "mkinstaller: " + f.stub + ": "},
        {{"extract", f.installer, f.blocked + native_separator() + "sub"}, MKI_FAILED, "mkinstaller: " + f.blocked},
        {{"extract", missing, f.scratch / "out"},
         MKI_DAMAGED,
         "mkinstaller: " + missing + ": cannot be opened or read: No such file or directory\n"},
        {{"list", missing},
         MKI_DAMAGED,
         "mkinstaller: " + missing + ": cannot be opened or read: No such file or directory\n"},
        {{"verify", f.installer}, MKI_OK, ""},
        {{"extract", f.installer, f.scratch / "out"}, MKI_OK, ""},
    };
    for (const Case& c : cases) {
        CliRun run = run_cli(c.args);
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        EXPECT_EQ(run.status, c.status) << line << "\n" << run.err;
        EXPECT_EQ(run.err.substr(0, c.err.size()), c.err) << line;
        if (c.status == MKI_OK) {
            EXPECT_EQ(run.err, "") << line;
        }
        if (c.status == MKI_USAGE) {
            EXPECT_NE(run.err.find("Try 'mkinstaller --help'"), std::string::npos) << line;
        }
    }
    // A failed pack left the earlier installer as it was.
    EXPECT_EQ(run_cli({"verify", f.installer}).status, MKI_OK);
}

TEST(Cli, OptionFormsAndRepeats) {
    Fixture f;
    const std::string out = f.scratch / "forms.exe";
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string err;  // all of standard error
    } cases[] = {
        {"--name=value for every value",
         {"pack", "--stub=" + f.stub, "--out=" + out, "--level=5", "--flags=1", "--block-size=1M", "--jobs=2",
          "--dict=64K", f.src},
         MKI_OK,
         ""},
        {"-- ends the options", {"pack", "--stub", f.stub, "--out", out, "--", f.src}, MKI_OK, ""},
        {"a repeated --out",
         {"pack", "--stub", f.stub, "--out", out, "--out", f.stub, f.src},
         MKI_USAGE,
         "mkinstaller: --out: given twice; give it once\nTry 'mkinstaller --help'.\n"},
        {"a repeated --stub",
         {"pack", "--stub", f.stub, "--stub=" + f.stub, "--out", out, f.src},
         MKI_USAGE,
         "mkinstaller: --stub: given twice; give it once\nTry 'mkinstaller --help'.\n"},
        {"a repeated --flags",
         {"pack", "--flags", "1", "--stub", f.stub, "--out", out, "--flags", "2", f.src},
         MKI_USAGE,
         "mkinstaller: --flags: given twice; give it once\nTry 'mkinstaller --help'.\n"},
        {"a switch with a value",
         {"pack", "--no-stored=yes", "--stub", f.stub, "--out", out, f.src},
         MKI_USAGE,
         "mkinstaller: --no-stored: takes no value\nTry 'mkinstaller --help'.\n"},
        {"an option after --",
         {"pack", "--stub", f.stub, "--out", out, "--", "--level"},
         MKI_FAILED,
         "mkinstaller: --level: cannot be packed: No such file or directory\n"},
        {"a missing SRC_DIR",
         {"pack", "--stub", f.stub, "--out", out, f.scratch / "none"},
         MKI_FAILED,
         "mkinstaller: " + f.scratch / "none" + ": cannot be packed: No such file or directory\n"},
        {"a file as SRC_DIR",
         {"pack", "--stub", f.stub, "--out", out, f.blocked},
         MKI_FAILED,
         "mkinstaller: " + f.blocked + ": is not a directory; SRC_DIR is a folder\n"},
        {"verify with --", {"verify", "--", f.installer}, MKI_OK, ""},
        {"extract's operands after --", {"extract", "--", f.installer, f.scratch / "dest"}, MKI_OK, ""},
    };
    for (const Case& c : cases) {
        CliRun run = run_cli(c.args);
        EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.err;
        EXPECT_EQ(run.err, c.err) << c.what;
    }
    // A dictionary the format cannot say is rounded up, and the output says so.
    CliRun run = run_cli({"pack", "--stub", f.stub, "--out", out, "--dict", "5000", f.src});
    EXPECT_EQ(run.status, MKI_OK) << run.err;
    EXPECT_EQ(run.out.rfind("--dict 5000: 5000 bytes, rounded up to 6144: LZMA stores a dictionary size of 2^n or "
                            "3 x 2^n bytes\n",
                            0),
              0u)
        << run.out;
    EXPECT_EQ(run_cli({"pack", "--stub", f.stub, "--out", out, "--dict", "8K", f.src}).out.find("rounded"),
              std::string::npos);
}

TEST(Cli, EachCommandHasItsOwnHelp) {
    struct Case {
        std::vector<std::string> args;
        std::string start;
        const char* has;
        const char* lacks;
    } cases[] = {
        {{"pack", "--help"},
         "Usage: mkinstaller pack --stub STUB --out OUT [OPTIONS] SRC_DIR\n",
         "Checks before any work",
         "extract INSTALLER DIR"},
        {{"pack", "-h", "--level", "99"}, "Usage: mkinstaller pack --stub STUB", "--block-size", "list INSTALLER"},
        {{"list", "--help"}, "Usage: mkinstaller list INSTALLER\n", "Prints the block directory", "--block-size"},
        {{"verify", "-h"}, "Usage: mkinstaller verify INSTALLER\n", "Reads, decodes and walks", "--block-size"},
        {{"extract", "--help"},
         "Usage: mkinstaller extract INSTALLER DIR\n",
         "exactly as the installer does",
         "--flags"},
    };
    for (const Case& c : cases) {
        CliRun run = run_cli(c.args);
        EXPECT_EQ(run.status, MKI_OK) << c.args[0];
        EXPECT_EQ(run.err, "") << c.args[0];
        EXPECT_EQ(run.out.substr(0, c.start.size()), c.start) << run.out;
        EXPECT_NE(run.out.find(c.has), std::string::npos) << c.args[0];
        EXPECT_NE(run.out.find("\nExit status:\n"), std::string::npos) << c.args[0];
        EXPECT_EQ(run.out.find(c.lacks), std::string::npos) << c.args[0];
    }
}

TEST(Cli, HelpDocumentsEveryCommandOptionAndExitCode) {
    for (const char* spelling : {"--help", "help", "-h"}) {
        CliRun run = run_cli({spelling});
        EXPECT_EQ(run.status, MKI_OK);
        for (const char* word : {"pack --stub STUB --out OUT",
                                 "list INSTALLER",
                                 "verify INSTALLER",
                                 "extract INSTALLER DIR",
                                 "--flags",
                                 "--block-size",
                                 "--level",
                                 "--dict",
                                 "--end-marker",
                                 "--no-checksums",
                                 "--no-stored",
                                 "--jobs N",
                                 "--allow-missing-programs",
                                 "at most 259 UTF-16 units",
                                 "at most 247",
                                 "takes at most 231 units and a folder's 219",
                                 "(28 units",
                                 "CONIN$, CONOUT$",
                                 "Unicode 14.0.0",
                                 "256K, 1M, 2M, 4M, 4M, 8M,\n      8M, 16M, 32M; level 9: 128M",
                                 "installing needs about N\n      MiB of memory",
                                 "\n        jitong-setup payload reader 2: lzma stored manifest\n",
                                 "\n  0 ",
                                 "\n  1 ",
                                 "--version",
                                 "not a Windows program",
                                 "already an installer: pass its program image",
                                 "a program image from an older build that cannot read\n  stored blocks",
                                 "FIFO",
                                 "must not lie in SRC_DIR",
                                 "WriteConsoleW",
                                 "UTF-8",
                                 "remove-signature",
                                 "\n  2 ",
                                 "\n  64 "})
            EXPECT_NE(run.out.find(word), std::string::npos) << spelling << " lacks " << word;
    }
    // The product's names as the tool shows them, in UTF-8.
    const std::string help = run_cli({"--help"}).out;
    for (const char* word : {u8"C:\\Program Files (x86)\\霁桐餐饮\\", u8"霁桐收银端.exe", u8"霁桐餐饮服务.exe",
                             u8"Ω.txt and ω.txt, Д and д, Ａ and ａ"})
        EXPECT_NE(help.find(word), std::string::npos) << "help lacks " << word;
}

TEST(Cli, ExtractNamesWhatFailedAndWhy) {
    Fixture f;
    const std::string sep(1, native_separator());
    auto installer_of = [&](const char* name, const std::vector<uint8_t>& stream) {
        const std::string path = f.scratch / name;
        write_file_bytes(path, build_installer(bytes_of("MZ"), {encode(stream)}, uint32_t(stream.size()), 0));
        return path;
    };
    const std::string cut = installer_of("cut.exe", {1, 0, 2, '\\', 'd'});
    // Without a manifest nothing is known before the blocks: the engine meets the obstacle and names it.
    const std::string plain = installer_of("plain.exe", stream_of({{"\\a.txt", "alpha"}}));
    const std::string unsafe = installer_of("unsafe.exe", stream_of({{"\\d", nullptr}, {"\\d\\..\\..\\x.txt", "x"}}));
    std::vector<uint8_t> undecodable =
        build_installer(bytes_of("MZ"), {encode(stream_of({{"\\a.txt", "alpha"}}))}, 20, 0);
    undecodable[2 + 9] ^= 0xFF;  // the first byte of the LZMA data must be 0
    write_file_bytes(f.scratch / "undecodable.exe", undecodable);
    // A folder where the first file goes: the file cannot be written there.
    const std::string into = f.scratch / "into";
    fs::create_directories(fs::path(into) / "a.txt");
    struct Case {
        const char* what;
        std::string installer;
        std::string start, end;  // of standard error; the system's own words lie between them
    } cases[] = {
        {"a file that cannot be written", plain,
         "mkinstaller: " + into + sep + sep + "a.txt: cannot be written: ", " (block 0: \\a.txt)\n"},
        {"the same folder in the way, found by the pre-flight", f.installer,
         "mkinstaller: " + into + sep +
             "a.txt: in the way: a file where a folder goes, or a folder where a file "
             "goes; nothing was written\n",
         ""},
        {"a stream cut short", cut,
         "mkinstaller: " + cut +
             ": block 0: damaged record stream: record stream cut short (a record runs past the "
             "end, or no end record)\n",
         ""},
        {"an unsafe name", unsafe,
         "mkinstaller: " + unsafe +
             ": block 0: damaged record stream: unsafe name (would write outside the install "
             "directory) (\\d\\..\\..\\x.txt)\n",
         ""},
        {"a block that does not decode", f.scratch / "undecodable.exe",
         "mkinstaller: " + f.scratch / "undecodable.exe" +
             ": block 0: does not decode (damaged data, or out of memory)\n",
         ""},
    };
    for (const Case& c : cases) {
        CliRun run = run_cli({"extract", c.installer, into});
        EXPECT_EQ(run.status, MKI_FAILED) << c.what;
        ASSERT_GE(run.err.size(), c.start.size() + c.end.size()) << c.what << ": " << run.err;
        EXPECT_EQ(run.err.substr(0, c.start.size()), c.start) << c.what;
        EXPECT_EQ(run.err.substr(run.err.size() - c.end.size()), c.end) << c.what;
        if (c.end.empty()) {
            EXPECT_EQ(run.err, c.start) << c.what;
        } else {
            EXPECT_GT(run.err.size(), c.start.size() + c.end.size()) << c.what << ": the system's reason";
        }
    }
}

TEST(Cli, ExtractChecksBeforeItWrites) {
    // The installer's pre-flight, by the manifest: each refusal names its path and writes nothing.
    Fixture f;
    const std::string sep(1, native_separator());
    // One component longer than any system takes (Linux: 255 bytes; Windows: 259 units for a whole path).
    const std::string too_long = f.scratch / "dest" + sep + std::string(300, 'x');
    struct Case {
        const char* what;
        std::string dest;
        std::string err;
    } cases[] = {
        {"a destination too long for the system", too_long,
         "mkinstaller: " + too_long +
             ": path too long for the system, or a name with no form on this system; "
             "nothing was written\n"},
    };
    for (const Case& c : cases) {
        CliRun run = run_cli({"extract", f.installer, c.dest});
        EXPECT_EQ(run.status, MKI_FAILED) << c.what;
        EXPECT_EQ(run.err, c.err) << c.what;
        EXPECT_EQ(run.out, "") << c.what << ": nothing traced, nothing made";
        EXPECT_FALSE(dir_exists(f.scratch / "dest")) << c.what;
    }
}

TEST(Cli, ExtractTracesOnStdoutAndDrawsTheBarOnStderr) {
    Fixture f;
    const std::string dest = f.scratch / "dest";
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = extract_installer(f.installer.c_str(), dest.c_str(), true);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, MKI_OK);
    EXPECT_EQ(read_tree(dest), read_tree(f.src));
    EXPECT_NE(out.find("start dec\n"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 10), "extra end\n");
    EXPECT_EQ(out.find('['), std::string::npos) << "no bar in the trace";
    const std::string full = "[" + std::string(40, '#') + "] 100.0%\n";
    ASSERT_GE(err.size(), full.size());
    EXPECT_EQ(err.substr(err.size() - full.size()), full);
}

TEST(Cli, PackDrawsTheBarWithBytesAndRateOnATerminalOnly) {
    Fixture f;
    PackOptions options;
    options.stub = f.stub;
    options.out = f.scratch / "again.exe";
    options.source = f.src;
    options.progress = true;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    pack_installer(options);
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string full = "[" + std::string(40, '#') + "] 100.0%  0.0 MiB in, 0.0 MiB out, ";
    const size_t last = err.rfind(full);
    ASSERT_NE(last, std::string::npos) << err;
    EXPECT_EQ(err.substr(err.size() - 7), " MiB/s\n") << err;
    // Through the command line, whose stderr is no terminal here: no bar.
    CliRun run = run_cli({"pack", "--stub", f.stub, "--out", f.scratch / "third.exe", f.src});
    EXPECT_EQ(run.status, MKI_OK);
    EXPECT_EQ(run.err, "");
}

TEST(Cli, VersionIsTheToolsOwn) {
    CliRun run = run_cli({"--version"});
    EXPECT_EQ(run.status, MKI_OK);
    EXPECT_EQ(run.out, "mkinstaller 1.3.0\n");
}

#ifdef MKINSTALLER_EXE
// The program passes the commands' exit status through and writes where the commands write.
TEST(Cli, TheBuiltProgram) {
    Fixture f;
    auto run = [&](const std::string& args) {
        const std::string command = std::string("'") + MKINSTALLER_EXE + "' " + args + " >'" + f.scratch.path() +
                                    "out.txt' 2>'" + f.scratch.path() + "err.txt'";
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_EQ(run("--help"), MKI_OK);
    const std::vector<uint8_t> help = read_file(f.scratch / "out.txt");
    EXPECT_NE(std::string(help.begin(), help.end()).find("extract INSTALLER DIR"), std::string::npos);
    EXPECT_EQ(run(""), MKI_USAGE);
    EXPECT_EQ(run("verify '" + f.stub + "'"), MKI_DAMAGED);
    EXPECT_EQ(run("extract '" + f.installer + "' '" + f.blocked + "/sub'"), MKI_FAILED);
    EXPECT_EQ(run("pack --stub '" + f.stub + "' --out '" + f.scratch / "again.exe" + "' '" + f.src + "'"), MKI_OK);
    EXPECT_EQ(read_file(f.scratch / "again.exe"), read_file(f.installer));
    EXPECT_EQ(run("extract '" + f.scratch / "again.exe" + "' '" + f.scratch / "dest" + "'"), MKI_OK);
    EXPECT_EQ(read_tree(f.scratch / "dest"), read_tree(f.src));
}
#endif
