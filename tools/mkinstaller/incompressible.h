// Finding the files that LZMA does not shrink (already compressed media, archives, backups) by trying.
#pragma once
#include <cstdint>
#include <vector>

#include "tree_walk.h"

// Smaller files stay in LZMA blocks whatever they hold: the test would cost more than storing them saves.
constexpr uint64_t STORE_MIN_FILE = 64 << 10;

// True when a quick LZMA pass (level 1, 64 KiB dictionary) does not bring a sample of the file below 97 % of
// the sample's size. The sample is the whole file up to 256 KiB, and 8 slices of 32 KiB spread evenly from
// start to end in a larger one. Throws ToolError naming the file when it cannot be read
// or is shorter than the walk found it.
bool lzma_does_not_shrink(const SourceEntry& file);

// Marks, indexed like entries, the files of STORE_MIN_FILE bytes or more below the top directory (the loose
// files stay in LZMA) that lzma_does_not_shrink; tested on up to threads threads within budget bytes.
// Throws the first ToolError in walk order.
std::vector<char> find_unshrinkable_files(const std::vector<SourceEntry>& entries, unsigned threads, uint64_t budget);
