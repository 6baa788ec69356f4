// The source tree walk: every directory and file below the source directory, in stored order.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct SourceEntry {
    bool is_dir;
    std::filesystem::path path;  // on disk
    std::string name;            // stored name: '\' + relative path with '\' separators, code page 936
    uint64_t size;               // bytes of a file; 0 for a directory
    int parent;                  // index of the parent directory's entry; -1 directly in the source directory
};

// Files this large or larger cannot be stored: data lengths are signed 32-bit values.
constexpr uint64_t SOURCE_FILE_LIMIT = 0x80000000u;
// Longest stored name: the shortest install directory ("C:\") and the name take at most 1023 bytes.
constexpr size_t STORED_NAME_LIMIT = 1020;

// Lists the tree below root depth first, each directory before its contents, the entries of a directory
// in the byte order of their stored names, so the order is the same on every system and every run.
// Throws PackError naming the file for: a symlink or special file, a name with no code page 936 form,
// a name the installer would refuse or that is too long, two names that are one on Windows, a file of
// 2 GiB or more, or a directory that cannot be read.
std::vector<SourceEntry> walk_source_tree(const std::filesystem::path& root);
