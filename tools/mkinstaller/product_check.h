// The programs the installer starts after installing: there, at the top of the tree, and Windows programs.
#pragma once
#include <filesystem>
#include <vector>

#include "tree_walk.h"

// Requires CASHIER_PROGRAM, and SERVICE_PROGRAM when flags ask for its shortcut or its start
// (PAYLOAD_FLAG_SERVICE_SHORTCUT, PAYLOAD_FLAG_SERVICE_LAUNCH), among the files directly in root (letter case
// as Windows ignores it), each a PE image: "MZ", the header offset at 0x3C inside the file, "PE\0\0" there.
// Throws ToolError naming root (refuse_tree) with every program missing or not a PE image, and why.
void check_product_programs(const std::filesystem::path& root, const std::vector<SourceEntry>& entries, int flags);
