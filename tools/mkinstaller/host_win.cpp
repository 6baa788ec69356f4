// The tool's platform layer for Windows: UTF-16 arguments held as UTF-8, code page 936 through the Win32
// conversions, text to the console through WriteConsoleW, GlobalMemoryStatusEx.
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdarg>

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

}  // namespace

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
