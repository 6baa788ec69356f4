// A stand-in for one of the product's programs: a window with its name, and one log line for tests.
#include <windows.h>

#include <cstdio>
#include <cstring>

// SAMPLE_CASHIER selects 霁桐收银端, otherwise 霁桐餐饮服务 (code page 936 bytes).
#ifdef SAMPLE_CASHIER
static const char TITLE[] = "\xf6\xab\xcd\xa9\xca\xd5\xd2\xf8\xb6\xcb";
#else
static const char TITLE[] = "\xf6\xab\xcd\xa9\xb2\xcd\xd2\xfb\xb7\xfe\xce\xf1";
#endif

// With JT_SAMPLE_LOG set, appends "module<TAB>current directory<TAB>show command<TAB>creation time" to that
// file. The show command is what the starter asked for (-1: none); the creation time (FILETIME ticks) orders
// programs started one after another, which the moment each gets round to logging does not.
static void log_start() {
    char log_path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("JT_SAMPLE_LOG", log_path, sizeof log_path);
    if (n == 0 || n >= sizeof log_path) return;

    char module[MAX_PATH];
    char directory[MAX_PATH];
    if (!GetModuleFileNameA(nullptr, module, sizeof module)) module[0] = '\0';
    if (!GetCurrentDirectoryA(sizeof directory, directory)) directory[0] = '\0';
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
    FILETIME created, exited, kernel, user;
    unsigned long long ticks = 0;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        ticks = (unsigned long long)created.dwHighDateTime << 32 | created.dwLowDateTime;

    char line[3 * MAX_PATH + 64];
    int length = snprintf(line, sizeof line, "%s\t%s\t%d\t%llu\r\n", module, directory, show, ticks);
    if (length <= 0 || length >= int(sizeof line)) return;
    // Append-only access makes each write land whole at the end, even with the other program writing too.
    HANDLE file = CreateFileA(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
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
    return DefWindowProcA(window, message, wparam, lparam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    WNDCLASSA window_class;
    memset(&window_class, 0, sizeof window_class);
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    window_class.lpszClassName = "JitongSample";
    RegisterClassA(&window_class);
    HWND window = CreateWindowA("JitongSample", TITLE, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480, 320,
                                nullptr, nullptr, instance, nullptr);
    if (window) ShowWindow(window, show);

    log_start();
    if (GetEnvironmentVariableA("JT_SAMPLE_EXIT", nullptr, 0) > 0 || !window) return 0;

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
