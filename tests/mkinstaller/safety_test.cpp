// What the tool does with harmful input: destinations, outputs that are inputs, links, special files, damaged images.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "exit_codes.h"
#include "host.h"
#include "program_image.h"
#include "support/test_support.h"
#include "tree_fixture.h"

#ifdef MKINSTALLER_EXE
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

struct Packed {
    ScratchDir scratch;
    std::string src = scratch / "src";
    std::string stub;
    std::string installer = scratch / "setup.exe";

    explicit Packed(const Tree& tree = {{"a.txt", "alpha"}, {"d/b.txt", "beta"}}) {
        write_tree(src, tree);
        stub = make_stub(fs::path(scratch.path()));
        CliRun run = run_cli({"pack", "--stub", stub, "--out", installer, ALLOW_MISSING_PROGRAMS, src});
        EXPECT_EQ(run.status, MKI_OK) << run.err;
    }
};

std::string text_of(const std::string& path) {
    const std::vector<uint8_t> bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

// Files whose names begin with prefix in dir: temporaries left behind.
std::vector<std::string> starting_with(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& name : list_tree(dir))
        if (name.rfind(prefix, 0) == 0) found.push_back(name);
    return found;
}

}  // namespace

TEST(Extract, DestinationMustBeAFolderThatIsOrCanBeMade) {
    Packed p;
    const std::string sep(1, native_separator());
    const std::string file = p.scratch / "afile";
    write_file_bytes(file, bytes_of("keep"));
    struct Case {
        const char* what;
        std::string dir;
        int status;
        std::string err;  // all of standard error
    } cases[] = {
        {"empty", "", MKI_USAGE,
         "mkinstaller: '': an empty DIR names no folder; extract installs only into a folder it is given\n"},
        {"a file", file, MKI_FAILED,
         "mkinstaller: " + file + ": is not a directory; extract installs into a directory\n"},
        {"below a file", file + sep + "sub", MKI_FAILED,
         "mkinstaller: " + file + sep + "sub: cannot be created: " + file + " is not a directory\n"},
        {"deep below a file", file + sep + "x" + sep + "y", MKI_FAILED,
         "mkinstaller: " + file + sep + "x" + sep + "y: cannot be created: " + file + " is not a directory\n"},
    };
    const std::vector<std::string> before = list_tree(p.scratch.path());
    for (const Case& c : cases) {
        CliRun run = run_cli({"extract", p.installer, c.dir});
        EXPECT_EQ(run.status, c.status) << c.what;
        EXPECT_EQ(run.err, c.err) << c.what;
        EXPECT_EQ(run.out, "") << c.what << ": nothing installed";
    }
    EXPECT_EQ(list_tree(p.scratch.path()), before) << "nothing written";
    EXPECT_EQ(text_of(file), "keep");

    // A folder that exists, and one made with its parents.
    for (const std::string& dir : {p.scratch / "made", p.scratch / "new" + sep + "deep" + sep + "dest"}) {
        if (dir == p.scratch / "made") fs::create_directory(dir);
        CliRun run = run_cli({"extract", p.installer, dir});
        EXPECT_EQ(run.status, MKI_OK) << dir << ": " << run.err;
        EXPECT_EQ(read_tree(dir), read_tree(p.src)) << dir;
    }
}

TEST(Output, IsNeverTheStubOrAnInputUnderAnotherName) {
    Packed p;
    const std::string sep(1, native_separator());
    const std::string stub_bytes_before = text_of(p.stub);
    const std::string spelled = p.scratch / "src" + sep + ".." + sep + "stub.exe";
    const std::string linked = p.scratch / "hard-stub.exe";
    const std::string linked_input = p.scratch / "hard-input.exe";
    std::error_code ec;
    fs::create_hard_link(p.stub, linked, ec);
    const bool have_links = !ec;
    fs::create_hard_link(p.src + sep + "a.txt", linked_input, ec);
    struct Case {
        const char* what;
        std::string out;
        std::string input;  // what OUT is said to be
    } cases[] = {
        {"the stub's own name", p.stub, p.stub},
        {"the stub by another path", spelled, p.stub},
        {"a hard link to the stub", linked, p.stub},
        {"a hard link to a file of the tree", linked_input, p.src + sep + "a.txt"},
    };
    for (const Case& c : cases) {
        if (!have_links && c.out != p.stub && c.out != spelled) continue;  // no hard links on this file system
        CliRun run = run_cli({"pack", "--stub", p.stub, "--out", c.out, ALLOW_MISSING_PROGRAMS, p.src});
        EXPECT_EQ(run.status, MKI_FAILED) << c.what;
        EXPECT_EQ(run.err, "mkinstaller: " + c.out + ": is the same file as " + c.input +
                               ", which pack reads; write the installer to another file\n")
            << c.what;
        EXPECT_EQ(run.out, "") << c.what;
    }
    EXPECT_EQ(text_of(p.stub), stub_bytes_before);
    EXPECT_EQ(text_of(p.src + sep + "a.txt"), "alpha");
    EXPECT_EQ(starting_with(p.scratch.path(), "stub.exe.partial"), std::vector<std::string>{});
}

TEST(Output, TemporaryIsCreatedOnlyWhereNothingIs) {
    ScratchDir scratch;
    const std::string victim = scratch / "victim.txt", link = scratch / "link";
    write_file_bytes(victim, bytes_of("precious"));
    errno = 0;
    EXPECT_EQ(create_new_file(victim), nullptr) << "a file that is there";
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(text_of(victim), "precious");
    std::error_code ec;
    fs::create_symlink(victim, link, ec);
    if (ec) GTEST_SKIP() << "no symbolic links here";
    fs::create_symlink(scratch / "nowhere", scratch / "dangling", ec);
    for (const std::string& path : {link, scratch / "dangling"}) {
        errno = 0;
        FILE* file = create_new_file(path);
        EXPECT_EQ(file, nullptr) << path;
        EXPECT_EQ(errno, EEXIST) << path;
        if (file) fclose(file);
    }
    EXPECT_EQ(text_of(victim), "precious");
    EXPECT_FALSE(file_exists(scratch / "nowhere")) << "not created through the dangling link";

    // A link planted where older versions put their temporary does not lead pack anywhere.
    Packed p;
    fs::create_symlink(victim, p.installer + ".partial", ec);
    CliRun run = run_cli({"pack", "--stub", p.stub, "--out", p.installer, ALLOW_MISSING_PROGRAMS, p.src});
    EXPECT_EQ(run.status, MKI_OK) << run.err;
    EXPECT_EQ(text_of(victim), "precious");
    EXPECT_EQ(run_cli({"verify", p.installer}).status, MKI_OK);
}

TEST(SpecialFiles, AreRefusedWithoutBeingRead) {
    Packed p;
    const std::string fifo = p.scratch / "pipe.exe";
    if (!make_fifo(fifo)) GTEST_SKIP() << "no named pipes here";
    const std::string zero = "/dev/zero";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{"verify", fifo},
         MKI_DAMAGED,
         "mkinstaller: " + fifo + ": is a FIFO (named pipe); an installer is a regular file\n"},
        {{"list", zero}, MKI_DAMAGED, "mkinstaller: /dev/zero: is a device; an installer is a regular file\n"},
        {{"extract", fifo, p.scratch / "out"},
         MKI_DAMAGED,
         "mkinstaller: " + fifo + ": is a FIFO (named pipe); an installer is a regular file\n"},
        {{"verify", p.src},
         MKI_DAMAGED,
         "mkinstaller: " + p.src + ": is a directory; an installer is a regular file\n"},
        {{"pack", "--stub", zero, "--out", p.scratch / "o.exe", ALLOW_MISSING_PROGRAMS, p.src},
         MKI_FAILED,
         "mkinstaller: /dev/zero: is a device; pack reads only regular files\n"},
        {{"pack", "--stub", fifo, "--out", p.scratch / "o.exe", ALLOW_MISSING_PROGRAMS, p.src},
         MKI_FAILED,
         "mkinstaller: " + fifo + ": is a FIFO (named pipe); pack reads only regular files\n"},
    };
    for (const Case& c : cases) {
        CliRun run = run_cli(c.args);
        EXPECT_EQ(run.status, c.status) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(run.err, c.err) << c.args[0];
    }
    EXPECT_FALSE(file_exists(p.scratch / "out"));
    EXPECT_EQ(starting_with(p.scratch.path(), "o.exe"), std::vector<std::string>{});
}

TEST(Pack, ReportsEveryUnreadableFileTogetherBeforeCompressing) {
    ScratchDir scratch;
    const std::string src = scratch / "src";
    write_tree(src, {{"a.txt", "alpha"}, {"d/b.txt", "beta"}, {"d/c.txt", "gamma"}});
    const std::string sep(1, native_separator());
    const std::string b = src + sep + "d" + sep + "b.txt", c = src + sep + "d" + sep + "c.txt";
    fs::permissions(b, fs::perms::none);
    fs::permissions(c, fs::perms::none);
    if (FILE* readable = fopen(b.c_str(), "rb")) {
        fclose(readable);
        fs::permissions(b, fs::perms::owner_all);
        fs::permissions(c, fs::perms::owner_all);
        GTEST_SKIP() << "this user reads files without permission (root)";
    }
    const std::string out = scratch / "setup.exe";
    CliRun run =
        run_cli({"pack", "--stub", make_stub(fs::path(scratch.path())), "--out", out, ALLOW_MISSING_PROGRAMS, src});
    fs::permissions(b, fs::perms::owner_all);
    fs::permissions(c, fs::perms::owner_all);
    EXPECT_EQ(run.status, MKI_FAILED);
    EXPECT_EQ(run.err, "mkinstaller: " + src +
                           ": 2 problems with the tree; Windows could not install it as it is:\n  " + b +
                           ": cannot be read: Permission denied\n  " + c + ": cannot be read: Permission denied\n");
    EXPECT_EQ(run.out, "") << "no block was packed";
    EXPECT_EQ(starting_with(scratch.path(), "setup.exe"), std::vector<std::string>{});
}

TEST(Pack, ReportsTheStubAndTheTreeTogether) {
    ScratchDir scratch;
    const std::string src = scratch / "src";
    write_tree(src, {{"a.txt", "alpha"}});  // without the cashier program
    const std::string stub = scratch / "empty.exe";
    write_file_bytes(stub, {});
    const std::string out = scratch / "setup.exe";
    CliRun run = run_cli({"pack", "--stub", stub, "--out", out, src});
    EXPECT_EQ(run.status, MKI_FAILED);
    const std::string first = "mkinstaller: " + stub + ": not a Windows program: the file is empty\n";
    const std::string second = "mkinstaller: " + src +
                               ": 1 problem with the tree; Windows could not install it as it is:\n  " + src +
                               native_separator() + CASHIER_UTF8 + ": is missing; ";
    EXPECT_EQ(run.err.substr(0, first.size()), first) << run.err;
    EXPECT_EQ(run.err.substr(first.size(), second.size()), second) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(starting_with(scratch.path(), "setup.exe"), std::vector<std::string>{});
}

TEST(Verify, ChecksTheProgramImageAndTheWholeFile) {
    Packed p(Tree{{"a.txt", "alpha"}, {"d/b.txt", std::string(300, 'b')}});
    const std::vector<uint8_t> good = read_file(p.installer);
    // The stand-in image: PE header at 0x80, optional header at 0x98, CheckSum at 0xD8, section table at 0x178,
    // the reader mark at 0x1C0.
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    const std::string image = "the program image (the first 512 bytes) ";
    struct Case {
        const char* what;
        Edit edit;
        std::string reason;  // after "mkinstaller: FILE: "; a prefix when it does not end in a newline
    } cases[] = {
        {"MZ overwritten",
         [](std::vector<uint8_t>& b) {
             b[0] = 'X';
             b[1] = 'X';
         },
         image + "does not begin with \"MZ\": it is no Windows program; the installer would not run\n"},
        {"header pointer past the image", [](std::vector<uint8_t>& b) { b[0x3D] = 0x10; },
         image + "has its PE header pointer (0x1080) outside it; the installer would not run\n"},
        {"PE signature broken", [](std::vector<uint8_t>& b) { b[0x81] = 'X'; },
         image + "has no \"PE\\0\\0\" where its header pointer leads (0x80); the installer would not run\n"},
        {"optional header magic", [](std::vector<uint8_t>& b) { b[0x99] = 0x07; },
         image + "has an optional header of magic 0x70B, neither PE32 (0x10B) nor PE32+ (0x20B); the installer would "
                 "not run\n"},
        {"no sections", [](std::vector<uint8_t>& b) { b[0x86] = 0; },
         image + "has no sections; the installer would not run\n"},
        {"section data past the image",
         [](std::vector<uint8_t>& b) {
             b[0x178 + 16] = 0x10;
             b[0x178 + 21] = 0x02;
         },
         image + "is shorter than its section 0 (.text), whose data runs from 0x200 to 0x210; the installer would not "
                 "run\n"},
        {"a byte of the filler", [](std::vector<uint8_t>& b) { b[0x1F0] ^= 0x01; }, "the PE checksum field says "},
        {"the checksum field", [](std::vector<uint8_t>& b) { b[0xD9] ^= 0x40; }, "the PE checksum field says "},
        {"the reader mark", [](std::vector<uint8_t>& b) { b[0x1C0] = 'J'; },
         "block 0 is stored, but the program image lacks the reader mark (\"jitong-setup payload reader \" and a "
         "revision): the installer would refuse it as damaged\n"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> damaged = good;
        c.edit(damaged);
        const std::string path = p.scratch / "damaged.exe";
        ASSERT_TRUE(write_file_bytes(path, damaged));
        CliRun run = run_cli({"verify", path});
        EXPECT_EQ(run.status, MKI_DAMAGED) << c.what;
        const std::string expected = "mkinstaller: " + path + ": " + c.reason;
        EXPECT_EQ(run.err.substr(0, expected.back() == '\n' ? std::string::npos : expected.size()), expected) << c.what;
    }
    // The whole file's checksum catches any changed byte of the image, every one of them tried.
    size_t missed = 0;
    for (size_t at = 0; at < 512; ++at) {
        std::vector<uint8_t> damaged = good;
        damaged[at] ^= 0x20;
        const std::string path = p.scratch / "damaged.exe";
        ASSERT_TRUE(write_file_bytes(path, damaged));
        if (run_cli({"verify", path}).status == MKI_OK) ++missed;
    }
    EXPECT_EQ(missed, 0u);
    // A checksum field of 0 is no checksum: verify says so and passes what the payload's checks pass.
    std::vector<uint8_t> unset = good;
    std::fill(unset.begin() + 0xD8, unset.begin() + 0xDC, 0);
    const std::string path = p.scratch / "unset.exe";
    ASSERT_TRUE(write_file_bytes(path, unset));
    CliRun run = run_cli({"verify", path});
    EXPECT_EQ(run.status, MKI_OK) << run.err;
    EXPECT_EQ(run.out, path +
                           ": ok: 2 blocks, 1 directories, 2 files, 340 bytes unpacked, flags 192; PE checksum 0, "
                           "so changed bytes outside the blocks go unnoticed\n");
}

TEST(PeChecksum, AddsLittleEndianWordsWithTheCarryFoldedThenTheLength) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        size_t field;
        uint32_t expected;
    } cases[] = {
        {"an odd last byte is a word's low byte", {0x01, 0x02, 0x03}, 100, 0x0204 + 3},
        {"the carry comes back", {0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00}, 100, 0x0002 + 6},
        {"the field counts as zero", {0x10, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01, 0x00}, 2, 0x0011 + 8},
        {"nothing", {}, 0, 0},
    };
    for (const Case& c : cases) {
        PeChecksum whole(c.field);
        whole.add(c.bytes.data(), c.bytes.size() / 2);
        whole.add(c.bytes.data() + c.bytes.size() / 2, c.bytes.size() - c.bytes.size() / 2);
        EXPECT_EQ(whole.value(), c.expected) << c.what;
    }
}

#ifdef MKINSTALLER_EXE
namespace {

pid_t start(const std::vector<std::string>& args, const std::string& out_file) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv = {const_cast<char*>(MKINSTALLER_EXE)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        // The interruptions as a terminal delivers them, whatever this process ignores.
        for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
        FILE* out = freopen(out_file.c_str(), "w", stdout);
        if (out) freopen((out_file + ".err").c_str(), "w", stderr);
        execv(MKINSTALLER_EXE, argv.data());
        _exit(127);
    }
    return pid;
}

}  // namespace

TEST(Pack, AnInterruptionRemovesTheTemporaryAndKeepsTheOldOutput) {
    Packed p;
    // Enough data that LZMA at level 9 on one thread is still busy when the signal comes.
    const std::vector<uint8_t> noise = random_bytes(24 << 20, 11);
    write_file_bytes(p.src + "/noise.bin", noise);
    const std::string old = text_of(p.installer);
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        const pid_t pid = start({"pack", "--stub", p.stub, "--out", p.installer, "--no-stored", "--jobs", "1",
                                 ALLOW_MISSING_PROGRAMS, p.src},
                                p.scratch / "log.txt");
        ASSERT_GT(pid, 0);
        // Waits for the temporary to appear (no time limit: the test is about what happens after).
        while (starting_with(p.scratch.path(), "setup.exe.partial-").empty()) usleep(1000);
        kill(pid, signal_number);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << signal_number << ": " << status;
        EXPECT_EQ(starting_with(p.scratch.path(), "setup.exe.partial"), std::vector<std::string>{}) << signal_number;
        EXPECT_EQ(text_of(p.installer), old) << signal_number;
    }
}

TEST(Pack, TwoPacksToOneOutputLeaveOneWholeInstaller) {
    Packed first(Tree{{"a.txt", std::string(200000, 'a')}, {"d/b.txt", "beta"}});
    const std::string second_src = first.scratch / "src2";
    write_tree(second_src, {{"z.txt", std::string(300000, 'z')}});
    const std::string alone_b = first.scratch / "alone-b.exe";
    ASSERT_EQ(run_cli({"pack", "--stub", first.stub, "--out", alone_b, ALLOW_MISSING_PROGRAMS, second_src}).status,
              MKI_OK);
    const std::string out = first.scratch / "same.exe";
    for (int round = 0; round < 3; ++round) {
        const pid_t a = start({"pack", "--stub", first.stub, "--out", out, ALLOW_MISSING_PROGRAMS, first.src},
                              first.scratch / "a.txt");
        const pid_t b = start({"pack", "--stub", first.stub, "--out", out, ALLOW_MISSING_PROGRAMS, second_src},
                              first.scratch / "b.txt");
        int status_a = 0, status_b = 0;
        waitpid(a, &status_a, 0);
        waitpid(b, &status_b, 0);
        EXPECT_TRUE(WIFEXITED(status_a) && WEXITSTATUS(status_a) == 0) << round;
        EXPECT_TRUE(WIFEXITED(status_b) && WEXITSTATUS(status_b) == 0) << round;
        const std::string left = text_of(out);
        EXPECT_TRUE(left == text_of(first.installer) || left == text_of(alone_b)) << round << ": one of the two, whole";
        EXPECT_EQ(run_cli({"verify", out}).status, MKI_OK) << round;
        EXPECT_EQ(starting_with(first.scratch.path(), "same.exe.partial"), std::vector<std::string>{}) << round;
    }
}
#endif

#ifdef MKINSTALLER_EXE
TEST(Pack, OnAPipeWritesPlainProgressLinesWhileItWorks) {
    Packed p;
    write_file_bytes(p.src + "/noise.bin", random_bytes(24 << 20, 12));
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    const std::string out = p.scratch / "piped.exe";
    const pid_t pid = fork();
    if (pid == 0) {
        for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
        dup2(pipe_ends[1], 2);
        close(pipe_ends[0]);
        if (!freopen("/dev/null", "w", stdout)) _exit(126);
        execl(MKINSTALLER_EXE, MKINSTALLER_EXE, "pack", "--stub", p.stub.c_str(), "--out", out.c_str(), "--no-stored",
              "--jobs", "1", ALLOW_MISSING_PROGRAMS, p.src.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipe_ends[1]);
    // The first line, read as it comes: it must come while the pack still works, not at its end.
    std::string line;
    char c;
    while (read(pipe_ends[0], &c, 1) == 1 && c != '\n') line += c;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    close(pipe_ends[0]);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the pack was still working when its first line came: " << line;
    ASSERT_EQ(line.rfind("pack: ", 0), 0u) << line;
    double percent = -1, in = -1, written = -1, rate = -1;
    ASSERT_EQ(sscanf(line.c_str(), "pack: %lf%% %lf MiB in, %lf MiB out, %lf MiB/s", &percent, &in, &written, &rate), 4)
        << line;
    EXPECT_LT(percent, 100.0) << line;
    EXPECT_GT(in, 0.0) << line << ": the encoder's progress within the block";
    EXPECT_FALSE(file_exists(out));
}
#endif
