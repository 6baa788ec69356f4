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
    int flags = 0;                          // the worker's option flags, 0-3
    bool checksums = true;                  // a CRC-32 table after the directory (option flag 0x80)
    uint64_t block_size = 256ull << 20;     // largest unpacked block, but a single larger file gets its own
    EncodeOptions encode;                   // level, dictionary (0 = auto), end marker
};

// Most blocks an installer holds: directory, checksum table and trailer stay under 1024 bytes, and each
// block takes a 4-byte size entry and, with checksums, a 4-byte CRC-32 (251 without, 125 with).
int pack_max_blocks(bool checksums);

// One block of the plan: entry indices in stream order (the parent directories that the block repeats
// included) and the size of its record stream, end record included.
struct BlockPlan {
    std::vector<int> records;
    uint32_t unpacked = 0;
};

// Splits the walk into blocks: the files directly in the source directory first, in block(s) of their own;
// then everything else in walk order, cut at record boundaries so that no block passes block_size unless
// one file alone does. Each block starts by repeating the directory records its first entry lies in.
// Throws PackError naming the file that needs a block past max_blocks or takes the total unpacked size
// over 715827882 bytes.
std::vector<BlockPlan> plan_blocks(const std::vector<SourceEntry>& entries, uint64_t block_size, int max_blocks);

// Walks, plans, encodes and writes options.out atomically (a temporary beside it, then a rename), with
// the checksum table and flag 0x80 unless options.checksums is off; reports each block on stdout. Throws PackError naming the file at fault.
void pack_installer(const PackOptions& options);
