// Stored names compared as Windows compares paths.
#pragma once
#include <cstddef>
#include <string>

// The name with ASCII letters folded to lower case and '/' turned into '\', stepping whole code page 936
// characters so that trail bytes stay as they are: how verify finds a record's directory and pack a program
// among stored names. Pack compares the names of a tree with Windows's full case folding (windows_name_key).
std::string name_key(const unsigned char* name, size_t len);

// Length of the directory part of a stored name: the bytes before its last separator (0 when the name
// lies directly in the install directory).
size_t parent_len(const unsigned char* name, size_t len);
