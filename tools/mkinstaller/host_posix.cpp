// The tool's platform layer for Linux: arguments and paths as bytes, iconv between UTF-8 names and code page 936.
#include <iconv.h>
#include <unistd.h>

#include <cstdarg>

#include "host.h"

namespace {

// Converts all of in, or nothing: false on any character without a form in the target.
bool convert(const char* to, const char* from, const std::string& in, std::string* out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == (iconv_t)-1) return false;
    std::string result(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = &result[0];
    size_t dst_left = result.size();
    size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (rc == size_t(-1) || src_left != 0) return false;
    result.resize(result.size() - dst_left);
    *out = result;
    return true;
}

}  // namespace

bool cp936_from_native(const std::filesystem::path& name, std::string* out) {
    // The same charset the extraction converts back with, so a name survives the round trip unchanged.
    std::string back;
    return convert("CP936", "UTF-8", name.native(), out) && convert("UTF-8", "CP936", *out, &back) &&
           back == name.native();
}

std::string cp936_for_display(const unsigned char* name, size_t len) {
    std::string bytes(reinterpret_cast<const char*>(name), len);
    std::string text;
    if (convert("UTF-8", "CP936", bytes, &text)) return text;
    return ascii_with_escapes(bytes);
}

std::vector<std::string> command_line_args(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

std::filesystem::path path_from_arg(const char* arg) { return std::filesystem::path(arg); }

std::string path_for_display(const std::filesystem::path& path) { return path.native(); }

std::string path_for_engine(const std::filesystem::path& path) { return path.native(); }

void tool_print(FILE* stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stream, format, args);
    va_end(args);
}

FILE* open_path(const std::filesystem::path& path, const char* mode) { return fopen(path.c_str(), mode); }

bool is_terminal(FILE* stream) { return isatty(fileno(stream)) != 0; }

uint64_t usable_memory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && page_size > 0 ? uint64_t(pages) * uint64_t(page_size) : 0;
}
