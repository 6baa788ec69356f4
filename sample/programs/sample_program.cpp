// A stand-in for one of the product's programs: a window with its name, and one log line for tests.
#include <windows.h>

#include <cstdio>
#include <cstring>

// SAMPLE_CASHIER selects 霁桐收银端, otherwise 霁桐餐饮服务.
#ifdef SAMPLE_CASHIER
static const wchar_t TITLE[] = L"霁桐收银端";
#else
static const wchar_t TITLE[] = L"霁桐餐饮服务";
#endif

// UTF-8 of text into out (cap bytes); empty when it does not fit.
static void utf8_of(const wchar_t* text, char* out, int cap) {
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, out, cap, nullptr, nullptr) <= 0) out[0] = '\0';
}

// With JT_SAMPLE_LOG set, appends "module<TAB>current directory<TAB>show command<TAB>creation time" to that
// file, paths in UTF-8 whatever the system's code page. The show command is what the starter asked for (-1:
// none); the creation time (FILETIME ticks) orders programs started one after another, which the moment each
// gets round to logging does not.
static void log_start() {
    wchar_t log_path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"JT_SAMPLE_LOG", log_path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;

    wchar_t module[MAX_PATH];
    wchar_t directory[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, module, MAX_PATH)) module[0] = L'\0';
    if (!GetCurrentDirectoryW(MAX_PATH, directory)) directory[0] = L'\0';
    char module_utf8[3 * MAX_PATH];
    char directory_utf8[3 * MAX_PATH];
    utf8_of(module, module_utf8, sizeof module_utf8);
    utf8_of(directory, directory_utf8, sizeof directory_utf8);
    STARTUPINFOW startup;
    GetStartupInfoW(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
    FILETIME created, exited, kernel, user;
    unsigned long long ticks = 0;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        ticks = (unsigned long long)created.dwHighDateTime << 32 | created.dwLowDateTime;

    char line[6 * MAX_PATH + 64];
    int length = snprintf(line, sizeof line, "%s\t%s\t%d\t%llu\r\n", module_utf8, directory_utf8, show, ticks);
    if (length <= 0 || length >= int(sizeof line)) return;
    // Append-only access makes each write land whole at the end, even with the other program writing too.
    HANDLE file = CreateFileW(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(file, line, DWORD(length), &written, nullptr);
    CloseHandle(file);
}

static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    WNDCLASSW window_class;
    memset(&window_class, 0, sizeof window_class);
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    window_class.lpszClassName = L"JitongSample";
    RegisterClassW(&window_class);
    HWND window = CreateWindowW(L"JitongSample", TITLE, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480, 320,
                                nullptr, nullptr, instance, nullptr);
    if (window) ShowWindow(window, show);

    log_start();
    if (GetEnvironmentVariableW(L"JT_SAMPLE_EXIT", nullptr, 0) > 0 || !window) return 0;

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
