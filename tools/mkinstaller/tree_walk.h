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

// One thing wrong with an entry of the tree.
struct TreeProblem {
    std::string path;  // as the user's file system spells it (path_for_display)
    std::string reason;
    bool operator<(const TreeProblem& o) const { return path != o.path ? path < o.path : reason < o.reason; }
};

// Throws one ToolError naming root whose text lists every problem, sorted by path, one line each.
[[noreturn]] void refuse_tree(const std::filesystem::path& root, std::vector<TreeProblem> problems);

// Lists the tree below root depth first, each directory before its contents, the entries of a directory
// in the byte order of their stored names, so the order is the same on every system and every run.
// Throws one ToolError naming root that lists, sorted by path, every entry Windows could not install as it is,
// each with its reason: a symlink or special file; a name that is not valid UTF-8 (Linux) or has a character
// with no code page 936 form; a name Windows refuses or changes (windows_name_problems); two names of one
// folder that are one on Windows (windows_name_key); a path below the install folder longer than
// INSTALL_FILE_NAME_LIMIT (a file) or INSTALL_DIR_NAME_LIMIT (a folder) UTF-16 units; a file of 2 GiB or more; a file
// that cannot be opened or read (its first byte is read), with the system's reason. Throws ToolError naming the
// directory when a directory cannot be read.
std::vector<SourceEntry> walk_source_tree(const std::filesystem::path& root);
