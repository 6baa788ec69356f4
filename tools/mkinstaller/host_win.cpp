// The tool's platform layer for Windows: UTF-16 arguments held as UTF-8 (platform/text_win.h's conversions), text
// to the console through WriteConsoleW, CREATE_NEW files, console control events.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <cwchar>

#include "host.h"
#include "platform/text_win.h"

namespace {

// UTF-8 as UTF-16; empty when it is not valid UTF-8.
std::wstring wide_from_utf8(const std::string& in) {
    std::wstring out(in.size() + 1, L'\0');
    if (!utf16_from_utf8(in.c_str(), &out[0], out.size())) return std::wstring();
    out.resize(wcslen(out.c_str()));
    return out;
}

// UTF-16 as UTF-8 for the tool's text: an unpaired surrogate (a name NTFS takes, though no text has it) becomes
// U+FFFD, as Windows' own conversion makes it.
std::string utf8_from(std::wstring in) {
    for (size_t i = 0; i < in.size(); ++i) {
        const bool high = in[i] >= 0xD800 && in[i] <= 0xDBFF, low = in[i] >= 0xDC00 && in[i] <= 0xDFFF;
        const bool paired = high && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF;
        if (paired) ++i;
        else if (high || low) in[i] = 0xFFFD;
    }
    std::string out(3 * in.size() + 1, '\0');
    if (!utf8_from_utf16(in.c_str(), &out[0], out.size())) return std::string();
    out.resize(strlen(out.c_str()));
    return out;
}

// The file an interruption removes, read by the console control handler on its own thread.
wchar_t g_interrupt_path[32768];
volatile LONG g_interrupt_armed = 0;

BOOL WINAPI on_console_event(DWORD) {
    // Opened with FILE_SHARE_DELETE: the file goes when the process closes it, on its way out.
    if (g_interrupt_armed) DeleteFileW(g_interrupt_path);
    return FALSE;  // the default handler ends the process
}

int errno_of(DWORD error) {
    switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    default: return EIO;
    }
}

}  // namespace

FILE* create_new_file(const std::filesystem::path& path) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = errno_of(GetLastError());
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* file = _fdopen(fd, "wb");
    if (!file) _close(fd);
    return file;
}

void remove_on_interrupt(const std::filesystem::path& path) {
    static bool installed = false;
    InterlockedExchange(&g_interrupt_armed, 0);
    const std::wstring& wide = path.native();
    if (wide.empty() || wide.size() >= sizeof g_interrupt_path / sizeof g_interrupt_path[0]) return;
    memcpy(g_interrupt_path, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    if (!installed) installed = SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
    InterlockedExchange(&g_interrupt_armed, 1);
}

std::vector<std::string> command_line_args(int, char**) {
    // The narrow argv went through the ANSI code page, which loses every name it has no character for.
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; argv && i < argc; ++i) args.push_back(utf8_from(argv[i]));
    LocalFree(argv);
    return args;
}

std::filesystem::path path_from_arg(const char* arg) { return std::filesystem::path(wide_from_utf8(arg)); }

std::string path_for_display(const std::filesystem::path& path) { return utf8_from(path.native()); }

std::string path_for_engine(const std::filesystem::path& path) { return utf8_from(path.native()); }

void tool_print(FILE* stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(n > 0 ? size_t(n) + 1 : 1, '\0');
    if (n > 0) vsnprintf(&text[0], text.size(), format, again);
    va_end(again);
    text.resize(n > 0 ? size_t(n) : 0);

    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        // The console shows UTF-16 whatever its code page; what the stream holds goes first.
        fflush(stream);
        const std::wstring wide = wide_from_utf8(text);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), DWORD(wide.size()), &written, nullptr);
        return;
    }
    fwrite(text.data(), 1, text.size(), stream);
}

FILE* open_path(const std::filesystem::path& path, const char* mode) {
    const std::string narrow(mode);
    return _wfopen(path.c_str(), std::wstring(narrow.begin(), narrow.end()).c_str());
}

bool is_terminal(FILE* stream) { return _isatty(_fileno(stream)) != 0; }
