// Shell services under wine: special folders, shortcuts read back, the picker's path rule, the box caption.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <atomic>
#include <thread>

#include "install/message.h"
#include "install/product.h"
#include "install/shell.h"
#include "shortcut_reader.h"
#include "support/test_support.h"
#include "support/text936_win.h"

namespace {

std::string own_path() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return narrow936(path);
}

// create_shortcut with the test's code page 936 strings; null stays null.
int shortcut(const std::string* target, const std::string& folder, const std::string& name, const std::string* work_dir,
             int hot_key, const wchar_t* description, int show_cmd) {
    const std::wstring t = target ? wide936(*target) : L"", w = work_dir ? wide936(*work_dir) : L"";
    return create_shortcut(target ? t.c_str() : nullptr, wide936(folder).c_str(), wide936(name).c_str(),
                           work_dir ? w.c_str() : nullptr, hot_key, description, show_cmd);
}

std::string without_trailing_separator(std::string dir) {
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    return dir;
}

class Shortcut : public testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
    ScratchDir scratch;
    const std::string folder = without_trailing_separator(scratch.path());
};

}  // namespace

TEST(SpecialFolders, DesktopAndProgramFilesAreTheProfileAndEnvironmentFolders) {
    wchar_t desktop[MAX_PATH] = L"";
    wchar_t program_files[MAX_PATH] = L"";
    ASSERT_NE(get_desktop_dir(desktop), 0);
    ASSERT_NE(get_program_files_dir(program_files), 0);
    EXPECT_EQ(std::wstring(desktop), std::wstring(_wgetenv(L"USERPROFILE")) + L"\\Desktop");
    // A 32-bit program's Program Files, as the system tells it in the environment.
    EXPECT_EQ(std::wstring(program_files), std::wstring(_wgetenv(L"ProgramFiles")));
}

// Each row is written with create_shortcut and read back through the shell-link object.
struct ShortcutCase {
    const char* label;
    bool null_target;
    bool with_work_dir;
    int hot_key;
    const wchar_t* description;
    int show_cmd;
    int expected_hot_key;
};

TEST_F(Shortcut, WritesWhatItWasGivenAndOnlyThat) {
    const std::string target = scratch / CASHIER_PROGRAM;
    ASSERT_TRUE(write_file_bytes(target, bytes_of("MZ")));
    const ShortcutCase cases[] = {
        {"as the worker makes it", false, true, 0, SHORTCUT_DESCRIPTION, SW_SHOWNORMAL, 0},
        {"hot key from the low 16 bits", false, false, 0x12340641, nullptr, SW_SHOWMAXIMIZED, 0x0641},
        {"low 16 bits zero: no hot key", false, true, 0x00010000, L"", SW_SHOWMINNOACTIVE, 0},
        {"null target: the running executable", true, false, 0, SHORTCUT_DESCRIPTION, SW_SHOWNORMAL, 0},
    };
    int n = 0;
    for (const ShortcutCase& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string name = "case" + std::to_string(n++) + ".lnk";
        ASSERT_EQ(shortcut(c.null_target ? nullptr : &target, folder, name, c.with_work_dir ? &scratch.path() : nullptr,
                           c.hot_key, c.description, c.show_cmd),
                  1);
        ShortcutFields read = read_shortcut(folder + "\\" + name);
        ASSERT_TRUE(read.loaded);
        EXPECT_EQ(read.target, c.null_target ? own_path() : target);
        EXPECT_EQ(read.work_dir, c.with_work_dir ? scratch.path() : "");
        EXPECT_EQ(read.description, c.description ? narrow936(c.description) : "");
        EXPECT_EQ(read.show_cmd, c.show_cmd);
        EXPECT_EQ(read.hot_key, c.expected_hot_key);
    }
}

TEST_F(Shortcut, ReplacesAnExistingFileOfTheSameName) {
    const std::string target = scratch / SERVICE_PROGRAM;
    ASSERT_TRUE(write_file_bytes(target, bytes_of("MZ")));
    const std::string link = scratch / narrow936(SERVICE_SHORTCUT);
    ASSERT_TRUE(write_file_bytes(link, random_bytes(3000, 7)));

    ASSERT_EQ(
        shortcut(&target, folder, narrow936(SERVICE_SHORTCUT), &scratch.path(), 0, SHORTCUT_DESCRIPTION, SW_SHOWNORMAL),
        1);
    ShortcutFields read = read_shortcut(link);
    ASSERT_TRUE(read.loaded);
    EXPECT_EQ(read.target, target);
    EXPECT_EQ(read.description, narrow936(SHORTCUT_DESCRIPTION));
}

TEST_F(Shortcut, NullFolderWritesNothing) {
    // A null folder formatted into the path would come out relative to the current directory.
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.path().c_str()));
    int result = create_shortcut(nullptr, nullptr, L"x.lnk", nullptr, 0, SHORTCUT_DESCRIPTION, SW_SHOWNORMAL);
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(list_tree(scratch.path()).empty());
}

TEST_F(Shortcut, APathThatDoesNotFitMaxPathIsNotWritten) {
    // folder + '\' + name: 259 units fit MAX_PATH with the terminator, 260 do not.
    const std::string deep = folder + "\\" + std::string(200 - folder.size() - 1, 'd');
    ASSERT_EQ(deep.size(), 200u);
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    const std::string fits = std::string(259 - 201 - 4, 'f') + ".lnk";
    const std::string too_long = std::string(260 - 201 - 4, 'g') + ".lnk";

    EXPECT_EQ(shortcut(nullptr, deep, fits, nullptr, 0, nullptr, SW_SHOWNORMAL), 1);
    EXPECT_EQ(shortcut(nullptr, deep, too_long, nullptr, 0, nullptr, SW_SHOWNORMAL), 0);
    const std::string dir_name = deep.substr(folder.size() + 1);
    EXPECT_EQ(list_tree(scratch.path()), (std::vector<std::string>{dir_name + "/", dir_name + "/" + fits}));
}

TEST(FolderPicker, TrailingBackslashRule) {
    struct Row {
        std::wstring chosen, expected;
    } rows[] = {
        {L"D:\\Apps", L"D:\\Apps\\"},
        {L"D:\\", L"D:\\"},            // a drive root keeps its one backslash
        {L"D:\\Apps/", L"D:\\Apps/"},  // a forward slash counts as a separator
        {L"\\\\server\\share\\", L"\\\\server\\share\\"},
        {L"D", L"D"},              // one character
        {L"D:", L"D:\\"},          // the root of that drive
        {L"D:x", L"D:x"},          // the character before the last is a colon
        {L"D:\\乗", L"D:\\乗\\"},  // 乗: code page 936 81 5C, one character
        {L"C:\\Program Files\\霁桐餐饮", L"C:\\Program Files\\霁桐餐饮\\"},
        {L"D:\\한국어", L"D:\\한국어\\"},  // no code page 936 form
        {L"乗", L"乗"},                    // one character
        {L":\U0001F600", L":\U0001F600"},  // a surrogate pair is one character
        {L"\U0001F600", L"\U0001F600"},
        {L"D:\\\U0001F600", L"D:\\\U0001F600\\"},
        {L"", L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("chosen: " + utf8_of(row.chosen));
        wchar_t path[512];
        wcscpy(path, row.chosen.c_str());
        EXPECT_EQ(finish_folder_path(path), row.expected.size());
        EXPECT_EQ(std::wstring(path), row.expected);
    }
}

TEST(MessageBoxCaption, IsTheExecutableNameWithoutExtension) {
    struct Row {
        std::wstring path, title;
    } rows[] = {
        {L"C:\\Downloads\\setup.exe", L"setup"},
        {L"C:\\Downloads\\jt.setup.exe", L"jt.setup"},  // only the last extension goes
        {L"C:\\v1.2\\setup", L"setup"},                 // a dot in a folder name is no extension
        {L"C:\\乗\\霁桐餐饮.exe", L"霁桐餐饮"},
        {L"C:\\다운로드\\설치.exe", L"설치"},  // no code page 936 form
        {L"setup.exe", L"setup"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("path: " + utf8_of(row.path));
        wchar_t title[64];
        app_title_from_path(row.path.c_str(), title, 64);
        EXPECT_EQ(std::wstring(title), row.title);
    }
}

namespace {

struct FoundBox {
    HWND box = nullptr;
};

BOOL CALLBACK find_box(HWND window, LPARAM found) {
    char window_class[16];
    if (GetClassNameA(window, window_class, sizeof window_class) && strcmp(window_class, "#32770") == 0) {
        reinterpret_cast<FoundBox*>(found)->box = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring text_of(HWND window) {
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
}

}  // namespace

// Needs a display (registered under xvfb-run): without one wine shows no box at all.
TEST(MessageWithoutWindow, IsAnUnownedBoxWithOneOkButtonCaptionedWithTheAppTitle) {
    std::atomic<DWORD> thread_id{0};
    std::thread worker([&thread_id] {
        thread_id = GetCurrentThreadId();
        show_message(MESSAGE_FAILED);
    });
    // Bounded wait for the box to appear on that thread.
    FoundBox found;
    for (int i = 0; i < 200 && !found.box; ++i) {
        Sleep(50);
        if (thread_id) EnumThreadWindows(thread_id, find_box, reinterpret_cast<LPARAM>(&found));
    }
    if (!found.box) {
        worker.detach();
        FAIL() << "no message box";
    }
    EXPECT_EQ(text_of(found.box), L"shell_tests");
    EXPECT_EQ(GetWindow(found.box, GW_OWNER), nullptr);
    EXPECT_EQ(text_of(GetDlgItem(found.box, 0xFFFF)), MESSAGE_FAILED);  // the box's text control
    EXPECT_NE(GetDlgItem(found.box, IDOK), nullptr);
    EXPECT_EQ(GetDlgItem(found.box, IDCANCEL), nullptr);
    PostMessageW(found.box, WM_COMMAND, IDOK, 0);
    worker.join();
}
