// The tool's platform layer for Linux: arguments and paths as bytes, iconv between UTF-8 names and code page 936.
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdarg>
#include <cstring>

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

// The file an interruption removes: a fixed buffer, read by the signal handler (unlink is async-signal-safe).
char g_interrupt_path[4096];
volatile sig_atomic_t g_interrupt_armed = 0;
constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP};

void on_interrupt(int signal_number) {
    if (g_interrupt_armed) unlink(g_interrupt_path);
    // Ends the process as the signal would have, so the caller sees which one it was.
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigaction(signal_number, &plain, nullptr);
    raise(signal_number);
}

}  // namespace

FILE* create_new_file(const std::filesystem::path& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    FILE* file = fdopen(fd, "wb");
    if (!file) close(fd);
    return file;
}

bool file_identity(const std::filesystem::path& path, FileIdentity* id) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    *id = FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
    return true;
}

void remove_on_interrupt(const std::filesystem::path& path) {
    static bool installed = false;
    g_interrupt_armed = 0;
    if (path.empty() || path.native().size() >= sizeof g_interrupt_path) return;
    memcpy(g_interrupt_path, path.c_str(), path.native().size() + 1);
    if (!installed) {
        struct sigaction action {};
        action.sa_handler = on_interrupt;
        sigemptyset(&action.sa_mask);
        for (int s : INTERRUPTIONS) {
            // A signal the caller ignores (nohup) stays ignored.
            struct sigaction before {};
            if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
            sigaction(s, &action, nullptr);
        }
        installed = true;
    }
    g_interrupt_armed = 1;
}

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
