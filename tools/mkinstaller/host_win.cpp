// The tool's platform layer for Windows: code page 936 through the Win32 conversions, GlobalMemoryStatusEx.
#include <io.h>
#include <windows.h>

#include "host.h"

namespace {

constexpr UINT CP_GBK = 936;

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
    int n = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, in.data(), int(in.size()), nullptr, 0, nullptr,
                                &used_default);
    if (n <= 0 || used_default) return false;
    out->assign(size_t(n), '\0');
    WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, in.data(), int(in.size()), &(*out)[0], n, nullptr,
                        &used_default);
    return !used_default;
}

}  // namespace

bool cp936_from_native(const std::filesystem::path& name, std::string* out) {
    // The round trip catches what the flags above may let through on older systems.
    return narrow_to(CP_GBK, name.native(), out) && wide_from(CP_GBK, *out) == name.native();
}

std::string cp936_for_display(const unsigned char* name, size_t len) {
    return std::string(reinterpret_cast<const char*>(name), len);
}

std::filesystem::path path_from_arg(const char* arg) { return std::filesystem::path(wide_from(CP_ACP, arg)); }

std::string path_for_display(const std::filesystem::path& path) {
    std::string out;
    if (narrow_to(CP_ACP, path.native(), &out)) return out;
    // A name the ANSI code page cannot show: replacement characters are enough for a message.
    int n = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    out.assign(n > 0 ? size_t(n) : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, &out[0], n, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
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
