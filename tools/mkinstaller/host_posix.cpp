// The tool's platform layer for Linux: arguments and paths as bytes, O_EXCL files, signals.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdarg>
#include <cstring>

#include "host.h"

namespace {

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
