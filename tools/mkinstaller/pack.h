// Building an installer: the source tree planned into self-contained blocks, encoded, appended to the stub.
#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

#include "block_encoder.h"
#include "tree_walk.h"

struct PackOptions {
    std::filesystem::path stub;
    std::filesystem::path out;
    std::filesystem::path source;
    int flags = 0;                          // trailer option flags, 0-3
    uint64_t block_size = 256ull << 20;     // largest unpacked block, but a single larger file gets its own
    EncodeOptions encode;                   // level, dictionary (0 = auto), end marker
};

// Most blocks an installer holds: the directory and trailer must stay under 1024 bytes.
constexpr int PACK_MAX_BLOCKS = 251;

// One block of the plan: entry indices in stream order (the parent directories that the block repeats
// included) and the size of its record stream, end record included.
struct BlockPlan {
    std::vector<int> records;
    uint32_t unpacked = 0;
};

// Splits the walk into blocks: the files directly in the source directory first, in block(s) of their own;
// then everything else in walk order, cut at record boundaries so that no block passes block_size unless
// one file alone does. Each block starts by repeating the directory records its first entry lies in.
// Throws PackError naming the file that needs a block past the 251st or takes the total unpacked size
// over 715827882 bytes.
std::vector<BlockPlan> plan_blocks(const std::vector<SourceEntry>& entries, uint64_t block_size);

// Walks, plans, encodes and writes options.out atomically (a temporary beside it, then a rename);
// reports each block on stdout. Throws PackError naming the file at fault.
void pack_installer(const PackOptions& options);
