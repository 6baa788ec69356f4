// File trees for tests and seed writers: written from and read back into a map of UTF-8 paths.
#pragma once
#include <filesystem>
#include <map>
#include <string>

// A tree as relative UTF-8 paths with '/' separators; a key ending in '/' is a directory.
using Tree = std::map<std::string, std::string>;

// Creates every entry (and the parents it needs) below root; throws std::runtime_error when a file
// cannot be written.
void write_tree(const std::filesystem::path& root, const Tree& tree);
// Every entry below root with its content.
Tree read_tree(const std::filesystem::path& root);
