// Files pack reads (the stub, the source files), opened with the system's reason when they cannot be.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

using InputFile = std::unique_ptr<FILE, int (*)(FILE*)>;

// Opens path for reading. Throws PackError naming the file with the system's reason: no such file, no
// permission, or a directory (which some systems would open and fail only at the first read).
InputFile open_input(const std::filesystem::path& path);

// Reads size bytes at offset (below 2 GiB) into out. False when the file ends before them; throws PackError
// naming the file with the system's reason when the read fails.
bool read_input_at(FILE* file, const std::filesystem::path& path, uint64_t offset, void* out, size_t size);

// The reason of the failed call that set errno, as the system words it.
std::string system_reason();
