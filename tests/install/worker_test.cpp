// The install worker end to end: installers made of the headless runner and a payload holding the sample
// programs, run under wine, watched through the window seam, the desktop and the programs' log.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "container_writer.h"
#include "install/product.h"
#include "install/shell.h"
#include "shortcut_reader.h"
#include "support/test_support.h"
#include "support/text936_win.h"

namespace {

// The installation's texts as code page 936 bytes, how this test names files (the programs' names already are).
const std::string CASHIER_SHORTCUT_936 = narrow936(CASHIER_SHORTCUT);
const std::string SERVICE_SHORTCUT_936 = narrow936(SERVICE_SHORTCUT);
const std::string SHORTCUT_DESCRIPTION_936 = narrow936(SHORTCUT_DESCRIPTION);
const std::string MESSAGE_FAILED_936 = narrow936(MESSAGE_FAILED);
const std::string MESSAGE_DAMAGED_936 = narrow936(MESSAGE_DAMAGED);

// 菜单: a directory name of the second block.
const std::string MENU_DIR = "\xb2\xcb\xb5\xa5";
// 霁桐餐饮: the last component of the install directories, as the default one has it.
const std::string PRODUCT_DIR = "\xf6\xab\xcd\xa9\xb2\xcd\xd2\xfb";

// A path of the build tree (Unix) as wine sees it.
std::string from_build_tree(std::string unix_path) {
    std::replace(unix_path.begin(), unix_path.end(), '/', '\\');
    return "Z:" + unix_path;
}

std::vector<uint8_t> must_read(const std::string& path) {
    std::vector<uint8_t> bytes = read_file(path);
    if (bytes.empty()) throw std::runtime_error("cannot read " + path);
    return bytes;
}

// The payload: the two programs and a file in the first block, a small tree in the second.
struct Product {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;  // stored name -> content
    std::vector<std::vector<uint8_t>> blocks;
    uint32_t total_unpacked = 0;
    std::vector<uint8_t> runner;
};

const Product& product() {
    static const Product made = [] {
        Product p;
        const std::string samples = from_build_tree(SAMPLE_DIR);
        p.runner = must_read(from_build_tree(RUNNER_EXE));
        p.files = {
            {std::string("\\") + CASHIER_PROGRAM, must_read(samples + "\\" + CASHIER_PROGRAM)},
            {std::string("\\") + SERVICE_PROGRAM, must_read(samples + "\\" + SERVICE_PROGRAM)},
            {"\\readme.txt", bytes_of("first block\r\n")},
            {"\\data\\menu.txt", bytes_of("second block\r\n")},
            {"\\data\\" + MENU_DIR + "\\1.txt", random_bytes(5000, 3)},
        };
        RecordStreamWriter first, second;
        for (int i = 0; i < 3; ++i) first.add_file(p.files[i].first, p.files[i].second);
        second.add_dir("\\data");
        second.add_file(p.files[3].first, p.files[3].second);
        second.add_dir("\\data\\" + MENU_DIR);
        second.add_file(p.files[4].first, p.files[4].second);
        for (RecordStreamWriter* w : {&first, &second}) {
            std::vector<uint8_t> stream = w->finish();
            p.total_unpacked += uint32_t(stream.size());
            p.blocks.push_back(encode(stream));
        }
        return p;
    }();
    return made;
}

// The product's manifest, as pack writes it: its records in stream order, without their data.
std::vector<uint8_t> product_manifest() {
    const Product& p = product();
    ManifestWriter w;
    for (int i = 0; i < 3; ++i) w.add_file(p.files[i].first, uint32_t(p.files[i].second.size()));
    w.add_dir("\\data");
    w.add_file(p.files[3].first, uint32_t(p.files[3].second.size()));
    w.add_dir("\\data\\" + MENU_DIR);
    w.add_file(p.files[4].first, uint32_t(p.files[4].second.size()));
    return w.finish();
}

// The runner with the product's payload; with the manifest, as pack writes it behind today's image.
std::vector<uint8_t> installer_bytes(uint8_t flags, bool manifest = false) {
    const Product& p = product();
    return build_installer(p.runner, p.blocks, p.total_unpacked, flags,
                           manifest ? product_manifest() : std::vector<uint8_t>());
}

// What one attempt asked of the window, in order ("message installing=1 <text>", "dialog_ended", ...), and the
// texts beside it: a box's second line ("reason ...") and a Retry/Cancel box's text ("question ...").
struct Attempt {
    std::vector<std::string> window;
    std::vector<std::string> notes;
};

struct InstallerRun {
    DWORD exit_code = 0;
    std::vector<Attempt> attempts;
};

std::wstring quoted(const std::wstring& arg) {
    // A backslash before the closing quote would escape it.
    return L"\"" + arg + (!arg.empty() && arg.back() == L'\\' ? L"\\" : L"") + L"\"";
}

// True while a process of the job runs a program from one of dirs. Wine's own helpers join the job too when
// a program is the first to need them (explorer.exe for the desktop window); they are not waited for.
bool programs_running(HANDLE job, const std::vector<std::wstring>& dirs) {
    // The id list runs on past its declared one entry: it must be the last thing in the buffer.
    alignas(JOBOBJECT_BASIC_PROCESS_ID_LIST) unsigned char
        buffer[sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + 63 * sizeof(ULONG_PTR)] = {};
    auto* ids = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer);
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, ids, sizeof buffer, nullptr)) return false;
    for (DWORD i = 0; i < ids->NumberOfProcessIdsInList; ++i) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(ids->ProcessIdList[i]));
        if (!process) return true;  // not yet (or no longer) inspectable: ask again
        wchar_t image[MAX_PATH];
        DWORD size = MAX_PATH;
        bool named = QueryFullProcessImageNameW(process, 0, image, &size);
        DWORD exit_code = 0;
        bool alive = GetExitCodeProcess(process, &exit_code) && exit_code == STILL_ACTIVE;
        CloseHandle(process);
        if (!named) return alive;
        for (const std::wstring& d : dirs)
            if (alive && _wcsnicmp(image, d.c_str(), d.size()) == 0) return true;
    }
    return false;
}

// Starts a console program with its standard output on a pipe whose read end is returned; the child's standard
// error is ours. The process and thread handles are the caller's to close.
PROCESS_INFORMATION start_with_output_pipe(std::wstring command, DWORD creation_flags, HANDLE* read_end) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE write_end;
    if (!CreatePipe(read_end, &write_end, &inherit, 0)) throw std::runtime_error("no pipe");
    SetHandleInformation(*read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    const bool started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, creation_flags, nullptr, nullptr,
                                        &startup, &process);
    CloseHandle(write_end);
    if (!started) {
        CloseHandle(*read_end);
        throw std::runtime_error("cannot start " + utf8_of(command));
    }
    return process;
}

// An installer run with one attempt per directory, its output read while the test watches the disk. The
// directories are handed over in UTF-16, so any name reaches the installer as it is.
class InstallerProcess {
public:
    InstallerProcess(const std::string& exe, const std::vector<std::wstring>& dirs) : dirs_(dirs) {
        std::wstring command = quoted(wide936(exe));
        for (const std::wstring& d : dirs) command += L" " + quoted(d);
        // The job gathers the installer and whatever it starts.
        job_ = CreateJobObjectW(nullptr, nullptr);
        process_ = start_with_output_pipe(command, CREATE_SUSPENDED, &read_end_);
        AssignProcessToJobObject(job_, process_.hProcess);
        ResumeThread(process_.hThread);
        reader_ = std::thread([this] {
            char buffer[4096];
            DWORD got;
            while (ReadFile(read_end_, buffer, sizeof buffer, &got, nullptr) && got > 0) output_.append(buffer, got);
        });
    }
    InstallerProcess(const InstallerProcess&) = delete;
    InstallerProcess& operator=(const InstallerProcess&) = delete;
    ~InstallerProcess() {
        if (reader_.joinable()) finish();
    }

    // Waits until the installer and every program it started have ended, so the log is complete. The programs
    // exit right after logging (JT_SAMPLE_EXIT).
    InstallerRun finish() {
        reader_.join();
        WaitForSingleObject(process_.hProcess, INFINITE);
        InstallerRun run;
        GetExitCodeProcess(process_.hProcess, &run.exit_code);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        CloseHandle(read_end_);

        // Bounded: a program that never ends leaves its line missing, which the caller's checks show.
        for (int i = 0; i < 300 && programs_running(job_, dirs_); ++i) Sleep(100);
        CloseHandle(job_);
        parse_attempts(&run);
        return run;
    }

private:
    void parse_attempts(InstallerRun* run) const {
        std::istringstream lines(output_);
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("attempt ", 0) == 0) {
                run->attempts.push_back(Attempt{});
            } else if (!run->attempts.empty()) {
                if (line.rfind("event ", 0) == 0) run->attempts.back().window.push_back(line.substr(6));
                else if (line.rfind("worker_end ", 0) == 0 || line == "dialog_ended")
                    run->attempts.back().window.push_back(line);
                else if (line.rfind("reason ", 0) == 0 || line.rfind("question ", 0) == 0)
                    run->attempts.back().notes.push_back(line);
            }
        }
    }

    std::vector<std::wstring> dirs_;
    HANDLE job_ = nullptr;
    HANDLE read_end_ = nullptr;
    PROCESS_INFORMATION process_ = {};
    std::thread reader_;
    std::string output_;
};

InstallerRun run_installer(const std::string& exe, const std::vector<std::wstring>& dirs) {
    return InstallerProcess(exe, dirs).finish();
}

// hold_file keeping path open with share mode 0, as a virus scanner or a running program does, from
// construction (once it says it holds the file) until release.
class FileHolder {
public:
    explicit FileHolder(const std::string& path) {
        HANDLE read_end;
        process_ = start_with_output_pipe(
            quoted(wide936(from_build_tree(HOLD_FILE_EXE))) + L" " + quoted(wide936(path)), 0, &read_end);
        std::string said;
        char c;
        DWORD got;
        while (said.find('\n') == std::string::npos && ReadFile(read_end, &c, 1, &got, nullptr) && got == 1) said += c;
        CloseHandle(read_end);
        if (said.rfind("holding", 0) != 0) {
            release();
            throw std::runtime_error("hold_file does not hold " + path);
        }
    }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;
    ~FileHolder() { release(); }

    // Ends the holder: the system closes its handle, which releases the file.
    void release() {
        if (!process_.hProcess) return;
        TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, INFINITE);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        process_ = {};
    }

private:
    PROCESS_INFORMATION process_ = {};
};

// The same, for directories named in code page 936 as the rest of this test names files.
InstallerRun run_installer(const std::string& exe, const std::vector<std::string>& dirs) {
    std::vector<std::wstring> wide;
    for (const std::string& d : dirs) wide.push_back(wide936(d));
    return run_installer(exe, wide);
}

// One line of a sample program's log.
struct Launch {
    std::string module;
    std::string directory;
    int show = 0;
    uint64_t created = 0;
};

std::vector<Launch> read_launches(const std::string& log) {
    std::vector<Launch> launches;
    std::vector<uint8_t> bytes = read_file(log);
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream fields(line);
        Launch l;
        std::string show, created;
        std::getline(fields, l.module, '\t');
        std::getline(fields, l.directory, '\t');
        std::getline(fields, show, '\t');
        std::getline(fields, created, '\t');
        // The programs log UTF-8; this test names files in code page 936.
        l.module = narrow936(wide_of_utf8(l.module));
        l.directory = narrow936(wide_of_utf8(l.directory));
        l.show = atoi(show.c_str());
        l.created = strtoull(created.c_str(), nullptr, 10);
        launches.push_back(l);
    }
    // Start order: the moment each program was created, not when it got round to writing.
    std::sort(launches.begin(), launches.end(), [](const Launch& a, const Launch& b) { return a.created < b.created; });
    return launches;
}

// Whole content of the file at a UTF-16 path; empty when it cannot be read.
std::vector<uint8_t> read_file_wide(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        unsigned char buffer[65536];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
        fclose(f);
    }
    return bytes;
}

std::string desktop_dir() {
    wchar_t desktop[MAX_PATH];
    if (!get_desktop_dir(desktop)) throw std::runtime_error("no desktop");
    return narrow936(desktop);
}

class Worker : public testing::Test {
protected:
    void SetUp() override {
        remove_desktop_shortcuts();
        SetEnvironmentVariableA("JT_SAMPLE_LOG", log.c_str());
        SetEnvironmentVariableA("JT_SAMPLE_EXIT", "1");
        SetEnvironmentVariableA("JT_RUNNER_RETRY", nullptr);
    }
    void TearDown() override { remove_desktop_shortcuts(); }

    void remove_desktop_shortcuts() {
        DeleteFileA(cashier_shortcut.c_str());
        DeleteFileA(service_shortcut.c_str());
    }

    std::string write_installer(const std::vector<uint8_t>& bytes) {
        const std::string exe = scratch / "setup.exe";
        if (!write_file_bytes(exe, bytes)) throw std::runtime_error("cannot write " + exe);
        return exe;
    }

    // Every payload file is in dir with its content. On Windows a stored name, code page 936 bytes with
    // '\' separators, is the path below the install directory as it stands.
    void expect_installed(const std::string& dir) {
        for (auto& f : product().files) EXPECT_EQ(read_file(dir + f.first), f.second) << f.first;
    }

    // Nothing on the desktop, no program started.
    void expect_no_shortcuts_and_no_launches() {
        EXPECT_FALSE(file_exists(cashier_shortcut));
        EXPECT_FALSE(file_exists(service_shortcut));
        EXPECT_FALSE(file_exists(log));
    }

    ScratchDir scratch;
    const std::string log = scratch / "launches.log";
    const std::string cashier_shortcut = desktop_dir() + "\\" + CASHIER_SHORTCUT_936;
    const std::string service_shortcut = desktop_dir() + "\\" + SERVICE_SHORTCUT_936;
};

const std::vector<std::string> ENDED_DIALOG = {"end_dialog installing=0", "dialog_ended"};
const std::vector<std::string> ENDING_B = {
    "invalidate installing=0", std::string("message installing=0 ") + MESSAGE_FAILED_936, "worker_end installing=0"};

// Flags and what they make: the service shortcut and launch; the cashier is always linked and launched.
struct FlagsCase {
    uint8_t flags;
    bool service_shortcut;
    bool service_launch;
};

class WorkerFlags : public Worker, public testing::WithParamInterface<FlagsCase> {};

}  // namespace

TEST_P(WorkerFlags, LinksAndLaunchesAsTheOptionBitsSay) {
    const FlagsCase c = GetParam();
    const std::string dir = scratch / PRODUCT_DIR + "\\";
    InstallerRun run = run_installer(write_installer(installer_bytes(c.flags)), {dir});

    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.attempts.size(), 1u);
    EXPECT_EQ(run.attempts[0].window, ENDED_DIALOG);
    expect_installed(dir);

    ShortcutFields cashier = read_shortcut(cashier_shortcut);
    ASSERT_TRUE(cashier.loaded);
    EXPECT_EQ(cashier.target, dir + CASHIER_PROGRAM);
    EXPECT_EQ(cashier.work_dir, dir);
    EXPECT_EQ(cashier.description, SHORTCUT_DESCRIPTION_936);
    EXPECT_EQ(cashier.show_cmd, SW_SHOWNORMAL);
    ASSERT_EQ(file_exists(service_shortcut), c.service_shortcut);
    if (c.service_shortcut) {
        EXPECT_EQ(read_shortcut(service_shortcut).target, dir + SERVICE_PROGRAM);
    }

    // Each program runs from the install directory; the service (normal window) starts before the cashier
    // (maximised).
    const std::string cwd = dir.substr(0, dir.size() - 1);
    std::vector<Launch> launches = read_launches(log);
    std::vector<std::string> expected, seen;
    if (c.service_launch) expected.push_back(dir + SERVICE_PROGRAM + " in " + cwd + " show 1");
    expected.push_back(dir + CASHIER_PROGRAM + " in " + cwd + " show 3");
    for (const Launch& l : launches)
        seen.push_back(l.module + " in " + l.directory + " show " + std::to_string(l.show));
    EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(OptionFlags, WorkerFlags,
                         testing::Values(FlagsCase{0x00, false, false}, FlagsCase{0x02, false, true},
                                         FlagsCase{0x03, true, true}, FlagsCase{0xFC, false, false}),
                         [](const testing::TestParamInfo<FlagsCase>& info) {
                             char name[16];
                             snprintf(name, sizeof name, "flags_%02X", info.param.flags);
                             return std::string(name);
                         });

TEST_F(Worker, DamagedInstallerShowsItsMessageOverTheProgressScreen) {
    std::vector<uint8_t> bytes = installer_bytes(0x03);
    // A directory offset of 80 00 00 00 or more is negative: the trailer is refused.
    bytes[bytes.size() - 9] = 0x80;
    const std::string dir = scratch / PRODUCT_DIR + "\\";
    InstallerRun run = run_installer(write_installer(bytes), {dir});

    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.attempts.size(), 1u);
    EXPECT_EQ(run.attempts[0].window,
              (std::vector<std::string>{std::string("message installing=1 ") + MESSAGE_DAMAGED_936,
                                        "invalidate installing=0", "worker_end installing=0"}));
    EXPECT_FALSE(dir_exists(dir));
    expect_no_shortcuts_and_no_launches();
}

TEST_F(Worker, FailedExtractionShowsItsMessageOverTheIdleScreen) {
    // The install directory lies under a regular file, so not even its first file can be created.
    ASSERT_TRUE(write_file_bytes(scratch / "occupied", bytes_of("x")));
    const std::string dir = scratch / "occupied\\" + PRODUCT_DIR + "\\";
    InstallerRun run = run_installer(write_installer(installer_bytes(0x03)), {dir});

    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.attempts.size(), 1u);
    EXPECT_EQ(run.attempts[0].window, ENDING_B);
    EXPECT_FALSE(dir_exists(dir));
    expect_no_shortcuts_and_no_launches();
}

TEST_F(Worker, InstallsIntoAFolderNamedOutsideCodePage936) {
    // 설치 폴더 ("install folder"): no code page 936 form, so only the wide calls reach it.
    const std::wstring dir = wide936(scratch.path()) + L"설치 폴더\\" + wide936(PRODUCT_DIR) + L"\\";
    InstallerRun run = run_installer(write_installer(installer_bytes(0x00)), std::vector<std::wstring>{dir});

    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.attempts.size(), 1u);
    EXPECT_EQ(run.attempts[0].window, ENDED_DIALOG);
    for (auto& f : product().files) EXPECT_EQ(read_file_wide(dir + wide936(f.first)), f.second) << f.first;
    ShortcutFields cashier = read_shortcut(cashier_shortcut);
    ASSERT_TRUE(cashier.loaded);
    // Wine's shell link keeps the target's path in the ANSI code page, so the Korean folder reads back as '?'
    // there; the part below it must be whole.
    const std::wstring tail = L"\\" + wide936(PRODUCT_DIR) + L"\\" + wide936(CASHIER_PROGRAM);
    ASSERT_GE(cashier.target_wide.size(), tail.size());
    EXPECT_EQ(cashier.target_wide.substr(cashier.target_wide.size() - tail.size()), tail);
    EXPECT_EQ(read_launches(log).size(), 1u);
}

TEST_F(Worker, RetryAfterAFailureStartsFromTheFirstBlock) {
    // The first attempt fails at the second block's first file, where a directory stands in the way.
    const std::string failing = scratch / "first\\";
    ASSERT_TRUE(CreateDirectoryA(failing.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((failing + "data").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((failing + "data\\menu.txt").c_str(), nullptr));
    const std::string chosen = scratch / "second\\" + PRODUCT_DIR + "\\";
    InstallerRun run = run_installer(write_installer(installer_bytes(0x00)), {failing, chosen});

    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.attempts.size(), 2u);
    EXPECT_EQ(run.attempts[0].window, ENDING_B);
    EXPECT_EQ(run.attempts[1].window, ENDED_DIALOG);

    // The failed attempt's first block stays where it was written; the new attempt installs everything.
    EXPECT_EQ(read_file(failing + "readme.txt"), bytes_of("first block\r\n"));
    EXPECT_FALSE(dir_exists(failing + "data\\" + MENU_DIR));
    expect_installed(chosen);
    EXPECT_EQ(read_shortcut(cashier_shortcut).target, chosen + CASHIER_PROGRAM);
    std::vector<Launch> launches = read_launches(log);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].module, chosen + CASHIER_PROGRAM);
    EXPECT_EQ(launches[0].show, SW_SHOWMAXIMIZED);
}

namespace {

// An earlier installation's data\menu.txt, the second block's first file, for another program to hold.
std::string earlier_menu_file(const std::string& dir) {
    if (!CreateDirectoryA(dir.c_str(), nullptr) || !CreateDirectoryA((dir + "data").c_str(), nullptr))
        throw std::runtime_error("cannot create " + dir + "data");
    const std::string menu = dir + "data\\menu.txt";
    if (!write_file_bytes(menu, bytes_of("earlier\r\n"))) throw std::runtime_error("cannot write " + menu);
    return menu;
}

// Polls for at most 30 s; what it waits for may never come when the code under test is wrong.
template <typename Condition>
bool comes_true(Condition condition) {
    for (int i = 0; i < 1500; ++i, Sleep(20))
        if (condition()) return true;
    return false;
}

}  // namespace

TEST_F(Worker, FileHeldForAMomentIsWrittenOnceReleased) {
    const std::string dir = scratch / PRODUCT_DIR + "\\";
    FileHolder holder(earlier_menu_file(dir));
    InstallerProcess installer(write_installer(installer_bytes(0x00)), {wide936(dir)});

    // Once readme.txt, the first block's last file, is whole, the worker has come to the held file.
    ASSERT_TRUE(comes_true([&] { return read_file(dir + "readme.txt") == bytes_of("first block\r\n"); }));
    // About half a second later it is still waiting there: the next directory is not there yet.
    Sleep(500);
    EXPECT_FALSE(dir_exists(dir + "data\\" + MENU_DIR));
    holder.release();

    InstallerRun run = installer.finish();
    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.attempts.size(), 1u);
    EXPECT_EQ(run.attempts[0].window, ENDED_DIALOG);
    expect_installed(dir);
}

TEST_F(Worker, FileHeldThroughoutEndsInTheFailureMessage) {
    const std::string dir = scratch / PRODUCT_DIR + "\\";
    const std::string menu = earlier_menu_file(dir);
    FileHolder holder(menu);
    InstallerRun run = run_installer(write_installer(installer_bytes(0x00)), {dir});
    holder.release();

    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.attempts.size(), 1u);
    EXPECT_EQ(run.attempts[0].window, ENDING_B);
    // The first block stays written; the held file keeps its bytes and nothing after it is written.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(read_file(dir + product().files[i].first), product().files[i].second);
    EXPECT_EQ(read_file(menu), bytes_of("earlier\r\n"));
    EXPECT_FALSE(dir_exists(dir + "data\\" + MENU_DIR));
    EXPECT_FALSE(file_exists(dir + "data\\" + MENU_DIR + "\\1.txt"));
    expect_no_shortcuts_and_no_launches();
}

namespace {

// An earlier installation of every product file, each holding "earlier" (two folders created on the way).
void earlier_installation(const std::string& dir) {
    for (const std::string& folder : {dir, dir + "data", dir + "data\\" + MENU_DIR})
        if (!CreateDirectoryA(folder.c_str(), nullptr)) throw std::runtime_error("cannot create " + folder);
    for (auto& f : product().files)
        if (!write_file_bytes(dir + f.first.substr(1), bytes_of("earlier")))
            throw std::runtime_error("cannot write " + f.first);
}

// Entries below dir (code page 936 bytes), whatever the system's code page.
size_t entries_below(const std::string& dir) {
    size_t n = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(std::filesystem::path(wide936(dir)));
         it != std::filesystem::recursive_directory_iterator(); ++it)
        ++n;
    return n;
}

// Every product file but the one held (held unreadable) still holds what earlier_installation wrote, and
// nothing else is in dir.
void expect_earlier_installation(const std::string& dir, const std::string& held = "") {
    for (auto& f : product().files)
        if (f.first != held) {
            EXPECT_EQ(read_file(dir + f.first.substr(1)), bytes_of("earlier")) << f.first;
        }
    EXPECT_EQ(entries_below(dir), product().files.size() + 2);
}

}  // namespace

TEST_F(Worker, WithAManifestEveryFileIsReplacedAndNoTemporaryStays) {
    const std::string dir = scratch / PRODUCT_DIR + "\\";
    earlier_installation(dir);
    // A killed run's temporary, and a read-only file of the product, as a technician may have left them.
    ASSERT_TRUE(write_file_bytes(dir + "data\\~jt$new.tmp", bytes_of("half")));
    ASSERT_TRUE(SetFileAttributesA((dir + "readme.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    InstallerRun run = run_installer(write_installer(installer_bytes(0x00, true)), {dir});

    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.attempts.size(), 1u);
    EXPECT_EQ(run.attempts[0].window, ENDED_DIALOG);
    expect_installed(dir);
    EXPECT_EQ(entries_below(dir), product().files.size() + 2) << "no temporary left";
}

TEST_F(Worker, HeldFileIsNamedBeforeAnythingIsWrittenAndCancelChangesNothing) {
    const std::string dir = scratch / PRODUCT_DIR + "\\";
    earlier_installation(dir);
    FileHolder holder(dir + "data\\menu.txt");
    InstallerRun run = run_installer(write_installer(installer_bytes(0x00, true)), {dir});
    holder.release();

    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.attempts.size(), 1u);
    // The question over the progress screen; Cancel brings the idle screen back, and no failure box follows.
    EXPECT_EQ(run.attempts[0].window,
              (std::vector<std::string>{"retry installing=1", "invalidate installing=0", "worker_end installing=0"}));
    // Wine's Restart Manager names no program: the box names the file.
    ASSERT_EQ(run.attempts[0].notes.size(), 1u);
    EXPECT_NE(run.attempts[0].notes[0].find(dir + "data\\menu.txt"), std::string::npos) << run.attempts[0].notes[0];
    expect_earlier_installation(dir);
    expect_no_shortcuts_and_no_launches();
}

TEST_F(Worker, RetryOnceTheHolderLetGoInstallsEveryFileNew) {
    const std::string dir = scratch / PRODUCT_DIR + "\\";
    earlier_installation(dir);
    const std::string marker = scratch / "retry-when-gone";
    ASSERT_TRUE(write_file_bytes(marker, bytes_of("x")));
    SetEnvironmentVariableA("JT_RUNNER_RETRY", marker.c_str());
    FileHolder holder(dir + CASHIER_PROGRAM);
    InstallerProcess installer(write_installer(installer_bytes(0x00, true)), {wide936(dir)});

    // The question is up: nothing has been written yet. The technician closes the program and clicks Retry.
    ASSERT_TRUE(comes_true([&] { return file_exists(marker + ".asked"); }));
    expect_earlier_installation(dir, std::string("\\") + CASHIER_PROGRAM);
    holder.release();
    ASSERT_TRUE(DeleteFileA(marker.c_str()));

    InstallerRun run = installer.finish();
    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.attempts.size(), 1u);
    EXPECT_EQ(run.attempts[0].window,
              (std::vector<std::string>{"retry installing=1", "end_dialog installing=0", "dialog_ended"}));
    expect_installed(dir);
}

TEST_F(Worker, RefusalsOfThePreflightWriteNothingAndSayWhy) {
    // Folders the pre-flight refuses, each with the second line of its box.
    struct Case {
        const char* what;
        std::string dir;
        std::string reason;  // a part of the second line, code page 936
    } cases[] = {
        // 200 units of folder: the menu folder's file passes Windows' 259.
        {"paths too long", scratch / std::string(200, 'p') + "\\" + PRODUCT_DIR + "\\", narrow936(L"路径太长")},
        {"a file where the menu folder goes", scratch / "blocked\\", narrow936(L"挡住了安装")},
    };
    ASSERT_TRUE(CreateDirectoryA(cases[1].dir.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((cases[1].dir + "data").c_str(), nullptr));
    ASSERT_TRUE(write_file_bytes(cases[1].dir + "data\\" + MENU_DIR, bytes_of("in the way")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t before = dir_exists(c.dir) ? entries_below(c.dir) : 0;
        InstallerRun run = run_installer(write_installer(installer_bytes(0x00, true)), {c.dir});
        ASSERT_EQ(run.attempts.size(), 1u);
        EXPECT_EQ(run.attempts[0].window, ENDING_B);
        ASSERT_EQ(run.attempts[0].notes.size(), 1u);
        EXPECT_NE(run.attempts[0].notes[0].find(c.reason), std::string::npos) << run.attempts[0].notes[0];
        EXPECT_EQ(dir_exists(c.dir) ? entries_below(c.dir) : 0u, before);
    }
    expect_no_shortcuts_and_no_launches();
}

TEST_F(Worker, DamagedManifestIsADamagedInstaller) {
    std::vector<uint8_t> bytes = installer_bytes(0x00, true);
    bytes[product().runner.size() + 5] ^= 0x01;  // a byte of the manifest's first name
    const std::string dir = scratch / PRODUCT_DIR + "\\";
    InstallerRun run = run_installer(write_installer(bytes), {dir});
    ASSERT_EQ(run.attempts.size(), 1u);
    EXPECT_EQ(run.attempts[0].window,
              (std::vector<std::string>{std::string("message installing=1 ") + MESSAGE_DAMAGED_936,
                                        "invalidate installing=0", "worker_end installing=0"}));
    EXPECT_FALSE(dir_exists(dir));
}
