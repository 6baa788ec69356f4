// The tool's platform layer for Windows: UTF-16 arguments held as UTF-8, code page 936 through the Win32
// conversions, text to the console through WriteConsoleW, GlobalMemoryStatusEx.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "host.h"
#include "platform/text_win.h"

namespace {


std::wstring wide_from(UINT code_page, const std::string& in) {
    if (in.empty()) return std::wstring();
    int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), &out[0], n);
    return out;
}

// False when some character has no exact form (no best-fit substitutes, no default character).
bool narrow_to(UINT code_page, const std::wstring& in, std::string* out) {
    out->clear();
    if (in.empty()) return true;
    BOOL used_default = FALSE;
    // UTF-8 takes neither flag nor default-character report; every UTF-16 string has a form in it.
    BOOL* report = code_page == CP_UTF8 ? nullptr : &used_default;
    const DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(code_page, flags, in.data(), int(in.size()), nullptr, 0, nullptr, report);
    if (n <= 0 || used_default) return false;
    out->assign(size_t(n), '\0');
    WideCharToMultiByte(code_page, flags, in.data(), int(in.size()), &(*out)[0], n, nullptr, report);
    return !used_default;
}

std::string utf8_from(const std::wstring& in) {
    std::string out;
    narrow_to(CP_UTF8, in, &out);
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

bool file_identity(const std::filesystem::path& path, FileIdentity* id) {
    HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool got = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (got)
        *id = FileIdentity{info.dwVolumeSerialNumber,
                           uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    return got;
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

bool cp936_from_native(const std::filesystem::path& name, std::string* out) {
    // The round trip catches what the flags above may let through on older systems.
    return narrow_to(CP_GBK, name.native(), out) && wide_from(CP_GBK, *out) == name.native();
}

std::string cp936_for_display(const unsigned char* name, size_t len) {
    const std::string bytes(reinterpret_cast<const char*>(name), len);
    const std::wstring wide = wide_from(CP_GBK, bytes);
    if (!wide.empty() || bytes.empty()) return utf8_from(wide);
    return ascii_with_escapes(bytes);
}

std::filesystem::path path_from_arg(const char* arg) { return std::filesystem::path(wide_from(CP_UTF8, arg)); }

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
        const std::wstring wide = wide_from(CP_UTF8, text);
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

uint64_t usable_memory() {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    // A 32-bit program has at most 4 GiB of address space (2 GiB without large-address-awareness).
    return status.ullTotalPhys < status.ullTotalVirtual ? status.ullTotalPhys : status.ullTotalVirtual;
}
