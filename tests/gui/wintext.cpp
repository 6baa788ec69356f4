// wintext: prints every visible top-level window of the wine session and its child controls, one per line,
// so the GUI tests can read texts that a screenshot only shows as pixels (message box texts, the folder
// picker's labels) and find the controls' screen rectangles.
//
//   top<TAB>hwnd<TAB>pid<TAB>class<TAB>text<TAB>left,top,right,bottom<TAB>iconic|zoomed|normal
//   child<TAB>hwnd<TAB>parent hwnd<TAB>class<TAB>text<TAB>left,top,right,bottom
//
// Texts are UTF-8; tabs and line breaks inside them are printed as spaces. Windows are listed in
// z-order, topmost first. A top-level window's text is read without sending it a message; a control's
// text is asked for with WM_GETTEXT (an edit box keeps its own), waiting at most a second, so a hung
// program cannot hang this one.
//
//   wintext restore HWND    restores a minimised window (what a taskbar click would do; there is no
//                           taskbar on the test display)
//   wintext close HWND      asks a window to close, as its close box would (WM_CLOSE)
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string out(size_t(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    for (char& c : out)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return out;
}

std::string text_of(HWND window) {
    wchar_t buffer[1024];
    int n = InternalGetWindowText(window, buffer, 1024);
    buffer[n > 0 ? n : 0] = L'\0';
    return utf8(buffer);
}

std::string control_text(HWND control) {
    wchar_t buffer[1024];
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, 1024, LPARAM(buffer), SMTO_ABORTIFHUNG, 1000, &n))
        return text_of(control);
    buffer[n < 1024 ? n : 1023] = L'\0';
    return utf8(buffer);
}

std::string class_of(HWND window) {
    wchar_t buffer[256];
    if (!GetClassNameW(window, buffer, 256)) buffer[0] = L'\0';
    return utf8(buffer);
}

std::string rect_of(HWND window) {
    RECT r = {0, 0, 0, 0};
    GetWindowRect(window, &r);
    char buffer[64];
    wsprintfA(buffer, "%ld,%ld,%ld,%ld", r.left, r.top, r.right, r.bottom);
    return buffer;
}

std::string handle(HWND window) {
    char buffer[32];
    wsprintfA(buffer, "%lu", (unsigned long)(ULONG_PTR)window);
    return buffer;
}

void emit(const std::string& line) {
    DWORD written;
    std::string out = line + "\n";
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), DWORD(out.size()), &written, nullptr);
}

BOOL CALLBACK on_child(HWND child, LPARAM parent) {
    if (!IsWindowVisible(child)) return TRUE;
    emit("child\t" + handle(child) + "\t" + handle(HWND(parent)) + "\t" + class_of(child) + "\t" + control_text(child) +
         "\t" + rect_of(child));
    return TRUE;
}

BOOL CALLBACK on_top(HWND window, LPARAM) {
    if (!IsWindowVisible(window)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char number[32];
    wsprintfA(number, "%lu", pid);
    const char* state = IsIconic(window) ? "iconic" : IsZoomed(window) ? "zoomed" : "normal";
    emit("top\t" + handle(window) + "\t" + number + "\t" + class_of(window) + "\t" + text_of(window) + "\t" +
         rect_of(window) + "\t" + state);
    EnumChildWindows(window, on_child, LPARAM(window));
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && lstrcmpA(argv[1], "restore") == 0) {
        HWND window = HWND(ULONG_PTR(strtoul(argv[2], nullptr, 10)));
        if (!IsWindow(window)) return 1;
        ShowWindowAsync(window, SW_RESTORE);
        return 0;
    }
    if (argc == 3 && lstrcmpA(argv[1], "close") == 0) {
        HWND window = HWND(ULONG_PTR(strtoul(argv[2], nullptr, 10)));
        return IsWindow(window) && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    EnumWindows(on_top, 0);
    return 0;
}
