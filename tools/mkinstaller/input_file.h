// Files pack reads (the stub, the source files), opened with the system's reason when they cannot be.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

using InputFile = std::unique_ptr<FILE, int (*)(FILE*)>;

// What a path that is there but no regular file is, for a message: "is a directory", "is a FIFO (named pipe)",
// "is a device", "is a socket" or "is not a regular file"; empty for a regular file or nothing there.
std::string not_regular(const std::filesystem::path& path);

// Opens path for reading. Throws ToolError naming the file with the system's reason: no such file, no
// permission, or a directory (which some systems would open and fail only at the first read); and without
// opening it, a FIFO, device or socket, which could block or never end ("is a FIFO (named pipe); ...").
InputFile open_input(const std::filesystem::path& path);

// Reads size bytes at offset (below 2 GiB) into out. False when the file ends before them; throws ToolError
// naming the file with the system's reason when the read fails.
bool read_input_at(FILE* file, const std::filesystem::path& path, uint64_t offset, void* out, size_t size);

// The reason of the failed call that set errno, as the system words it.
std::string system_reason();
