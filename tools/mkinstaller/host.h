// The tool's platform layer: names to code page 936 and back for display, argument paths, terminals, memory.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

// The code page 936 bytes of one file name as the file system gives it (UTF-8 on Linux, UTF-16 on
// Windows). False when some character has no exact code page 936 form.
bool cp936_from_native(const std::filesystem::path& name, std::string* out);

// A stored name for people to read: UTF-8 on Linux (bytes that do not convert shown as \xNN),
// the bytes as they are on Windows, where the console reads the ANSI code page.
std::string cp936_for_display(const unsigned char* name, size_t len);

// A path given on the command line (the ANSI code page on Windows, bytes on Linux) and back.
std::filesystem::path path_from_arg(const char* arg);
std::string path_for_display(const std::filesystem::path& path);

// fopen for a path of any name (wide on Windows); null with errno set when it cannot be opened.
FILE* open_path(const std::filesystem::path& path, const char* mode);

// True when the stream is an interactive terminal.
bool is_terminal(FILE* stream);

// Bytes of memory this process can put to use: the physical memory, or the process's address space where that
// is smaller (a 32-bit program). 0 when the system does not say.
uint64_t usable_memory();
