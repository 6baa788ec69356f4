// The tool's own platform layer, what the installer does not need: arguments, paths and text for people, stored
// names from and for the file system, files created only where nothing is, interruptions, terminals.
#pragma once
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// The command line after the program name: bytes as given on Linux; on Windows read as UTF-16 from the
// system (whatever the ANSI code page) and held as UTF-8, the tool's text encoding there.
std::vector<std::string> command_line_args(int argc, char** argv);

// The code page 936 bytes of one file name as the file system gives it (UTF-8 on Linux, UTF-16 on
// Windows), through platform/code_page.h. False when some character has no exact code page 936 form.
bool cp936_from_native(const std::filesystem::path& name, std::string* out);

// A stored name for people to read, in the tool's text encoding (UTF-8); bytes that do not convert are
// shown as \xNN.
std::string cp936_for_display(const unsigned char* name, size_t len);

// The bytes with every one of 0x80 or above as \xNN: a name that does not convert, still shown.
std::string ascii_with_escapes(const std::string& bytes);

// A path given on the command line (command_line_args' encoding) and back, for messages.
std::filesystem::path path_from_arg(const char* arg);
std::string path_for_display(const std::filesystem::path& path);

// A path as the payload engine takes it: its bytes on Linux, UTF-8 on Windows.
std::string path_for_engine(const std::filesystem::path& path);

// printf for the tool's text (UTF-8 on Windows, where names of any script must show right): on a Windows
// console through WriteConsoleW whatever its code page, to a pipe or file as UTF-8 bytes; on Linux printf.
#ifdef __MINGW_PRINTF_FORMAT
#define TOOL_PRINT_FORMAT __MINGW_PRINTF_FORMAT  // mingw's own printf, with %zu and %lld
#else
#define TOOL_PRINT_FORMAT printf
#endif
void tool_print(FILE* stream, const char* format, ...) __attribute__((format(TOOL_PRINT_FORMAT, 2, 3)));

// fopen for a path of any name (wide on Windows); null with errno set when it cannot be opened.
FILE* open_path(const std::filesystem::path& path, const char* mode);

// Creates path for writing only where nothing is, not even a symbolic link (O_CREAT|O_EXCL|O_NOFOLLOW on
// Linux, CREATE_NEW on Windows, where the file may be deleted while open). Null with errno set when it cannot:
// EEXIST when something is there, or the system's reason.
FILE* create_new_file(const std::filesystem::path& path);

// While path is set, an interruption (SIGINT, SIGTERM, SIGHUP; on Windows Ctrl-C, Ctrl-Break and closing the
// console) removes the file there before the process ends as the interruption would end it. One path at a
// time for the process; an empty path sets none.
void remove_on_interrupt(const std::filesystem::path& path);

// True when the stream is an interactive terminal.
bool is_terminal(FILE* stream);
