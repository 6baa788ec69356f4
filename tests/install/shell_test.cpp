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

namespace {

// 乗 is 81 5C in code page 936: its trail byte is the backslash's.
const std::string JOU = "\x81\x5c";
// 霁桐餐饮
const std::string PRODUCT_DIR = "\xf6\xab\xcd\xa9\xb2\xcd\xd2\xfb";

std::string own_path() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
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
    char desktop[512] = "";
    char program_files[512] = "";
    ASSERT_NE(get_desktop_dir(desktop), 0);
    ASSERT_NE(get_program_files_dir(program_files), 0);
    EXPECT_EQ(std::string(desktop), std::string(getenv("USERPROFILE")) + "\\Desktop");
    // A 32-bit program's Program Files, as the system tells it in the environment.
    EXPECT_EQ(std::string(program_files), std::string(getenv("ProgramFiles")));
}

// Each row is written with create_shortcut and read back through the shell-link object.
struct ShortcutCase {
    const char* label;
    bool null_target;
    bool with_work_dir;
    int hot_key;
    const char* description;
    int show_cmd;
    int expected_hot_key;
};

TEST_F(Shortcut, WritesWhatItWasGivenAndOnlyThat) {
    const std::string target = scratch / CASHIER_PROGRAM;
    ASSERT_TRUE(write_file_bytes(target, bytes_of("MZ")));
    const ShortcutCase cases[] = {
        {"as the worker makes it", false, true, 0, SHORTCUT_DESCRIPTION, SW_SHOWNORMAL, 0},
        {"hot key from the low 16 bits", false, false, 0x12340641, nullptr, SW_SHOWMAXIMIZED, 0x0641},
        {"low 16 bits zero: no hot key", false, true, 0x00010000, "", SW_SHOWMINNOACTIVE, 0},
        {"null target: the running executable", true, false, 0, SHORTCUT_DESCRIPTION, SW_SHOWNORMAL, 0},
    };
    int n = 0;
    for (const ShortcutCase& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string name = "case" + std::to_string(n++) + ".lnk";
        ASSERT_EQ(create_shortcut(c.null_target ? nullptr : target.c_str(), folder.c_str(), name.c_str(),
                                  c.with_work_dir ? scratch.path().c_str() : nullptr, c.hot_key, c.description,
                                  c.show_cmd),
                  1);
        ShortcutFields read = read_shortcut(folder + "\\" + name);
        ASSERT_TRUE(read.loaded);
        EXPECT_EQ(read.target, c.null_target ? own_path() : target);
        EXPECT_EQ(read.work_dir, c.with_work_dir ? scratch.path() : "");
        EXPECT_EQ(read.description, c.description ? c.description : "");
        EXPECT_EQ(read.show_cmd, c.show_cmd);
        EXPECT_EQ(read.hot_key, c.expected_hot_key);
    }
}

TEST_F(Shortcut, ReplacesAnExistingFileOfTheSameName) {
    const std::string target = scratch / SERVICE_PROGRAM;
    ASSERT_TRUE(write_file_bytes(target, bytes_of("MZ")));
    const std::string link = scratch / SERVICE_SHORTCUT;
    ASSERT_TRUE(write_file_bytes(link, random_bytes(3000, 7)));

    ASSERT_EQ(create_shortcut(target.c_str(), folder.c_str(), SERVICE_SHORTCUT, scratch.path().c_str(), 0,
                              SHORTCUT_DESCRIPTION, SW_SHOWNORMAL),
              1);
    ShortcutFields read = read_shortcut(link);
    ASSERT_TRUE(read.loaded);
    EXPECT_EQ(read.target, target);
    EXPECT_EQ(read.description, SHORTCUT_DESCRIPTION);
}

TEST_F(Shortcut, NullFolderWritesNothing) {
    // A null folder formatted into the path would come out relative to the current directory.
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.path().c_str()));
    int result = create_shortcut(nullptr, nullptr, "x.lnk", nullptr, 0, SHORTCUT_DESCRIPTION, SW_SHOWNORMAL);
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(list_tree(scratch.path()).empty());
}

TEST_F(Shortcut, APathThatDoesNotFitMaxPathIsNotWritten) {
    // folder + '\' + name: 259 bytes fit MAX_PATH with the terminator, 260 do not.
    const std::string deep = folder + "\\" + std::string(200 - folder.size() - 1, 'd');
    ASSERT_EQ(deep.size(), 200u);
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    const std::string fits = std::string(259 - 201 - 4, 'f') + ".lnk";
    const std::string too_long = std::string(260 - 201 - 4, 'g') + ".lnk";

    EXPECT_EQ(create_shortcut(nullptr, deep.c_str(), fits.c_str(), nullptr, 0, nullptr, SW_SHOWNORMAL), 1);
    EXPECT_EQ(create_shortcut(nullptr, deep.c_str(), too_long.c_str(), nullptr, 0, nullptr, SW_SHOWNORMAL), 0);
    const std::string dir_name = deep.substr(folder.size() + 1);
    EXPECT_EQ(list_tree(scratch.path()), (std::vector<std::string>{dir_name + "/", dir_name + "/" + fits}));
}

TEST(FolderPicker, TrailingBackslashRule) {
    struct Row {
        std::string chosen, expected;
    } rows[] = {
        {"D:\\Apps", "D:\\Apps\\"},
        {"D:\\", "D:\\"},                                 // a drive root keeps its one backslash
        {"D:\\Apps/", "D:\\Apps/"},                       // a forward slash counts as a separator
        {"\\\\server\\share\\", "\\\\server\\share\\"},
        {"D", "D"},                                       // one character
        {"D:", "D:\\"},                                   // the root of that drive
        {"D:x", "D:x"},                                   // the character before the last is a colon
        {"D:\\" + JOU, "D:\\" + JOU + "\\"},              // 81 5C is one character, not a backslash
        {"D:\\a" + JOU, "D:\\a" + JOU + "\\"},
        {"C:\\Program Files\\" + PRODUCT_DIR, "C:\\Program Files\\" + PRODUCT_DIR + "\\"},
        {JOU, JOU},                                       // one (double-byte) character
        {":" + JOU, ":" + JOU},                           // a colon before a double-byte last character
        {"", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("chosen: " + row.chosen);
        char path[512];
        strcpy(path, row.chosen.c_str());
        EXPECT_EQ(finish_folder_path(path), row.expected.size());
        EXPECT_EQ(std::string(path), row.expected);
    }
}

TEST(MessageBoxCaption, IsTheExecutableNameWithoutExtension) {
    struct Row {
        std::string path, title;
    } rows[] = {
        {"C:\\Downloads\\setup.exe", "setup"},
        {"C:\\Downloads\\jt.setup.exe", "jt.setup"},   // only the last extension goes
        {"C:\\v1.2\\setup", "setup"},                   // a dot in a folder name is no extension
        {"C:\\" + JOU + "\\" + PRODUCT_DIR + ".exe", PRODUCT_DIR},
        {"C:\\Downloads\\" + JOU + ".exe", JOU},        // the trail byte 5C does not split the name
        {"setup.exe", "setup"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("path: " + row.path);
        char title[64];
        app_title_from_path(row.path.c_str(), title, sizeof title);
        EXPECT_EQ(std::string(title), row.title);
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

std::string text_of(HWND window) {
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
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
    EXPECT_EQ(text_of(found.box), "shell_tests");
    EXPECT_EQ(GetWindow(found.box, GW_OWNER), nullptr);
    EXPECT_EQ(text_of(GetDlgItem(found.box, 0xFFFF)), MESSAGE_FAILED);  // the box's text control
    EXPECT_NE(GetDlgItem(found.box, IDOK), nullptr);
    EXPECT_EQ(GetDlgItem(found.box, IDCANCEL), nullptr);
    PostMessageA(found.box, WM_COMMAND, IDOK, 0);
    worker.join();
}
