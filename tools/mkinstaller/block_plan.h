// Planning the blocks: which entries each block holds, in which order, LZMA or stored.
#pragma once
#include <cstdint>
#include <vector>

#include "tree_walk.h"

// Most blocks an installer holds: directory, checksum table, manifest locator and trailer stay under 1024 bytes,
// and each block takes a 4-byte size entry and, with checksums, a 4-byte CRC-32 (251 without, 125 with; with
// the manifest's 12-byte locator 248 and 124).
int pack_max_blocks(bool checksums, bool manifest);

// Part of a file larger than a block, written as a piece record: length bytes from offset.
struct FilePiece {
    int record;  // the entry's index
    uint64_t offset;
    uint64_t length;
};

// One block of the plan: entry indices in stream order (the parent directories that the block repeats
// included), the size of its record stream, end record included, and whether it is stored as it is. pieces names
// the records that hold a piece of a file rather than the whole file: at most the block's first file record (a
// file continued from the block before) and its last record (a file continued in the next block).
struct BlockPlan {
    std::vector<int> records;
    std::vector<FilePiece> pieces;
    uint32_t unpacked = 0;
    bool stored = false;
};

// The piece a block holds of entry index, or null when it holds the whole entry.
const FilePiece* piece_of(const BlockPlan& block, int index);

// Splits the walk into blocks: the files directly in the source directory first, in block(s) of their own;
// then everything else in walk order but the files marked in store (indexed like entries; empty marks none)
// and the directories that lead only to such files; then the marked files, in walk order, in stored blocks.
// Blocks are cut at record boundaries so that none passes block_size unless one file alone does, and each
// starts by repeating the directory records its first entry lies in. With split_files, a file larger than
// block_size is cut instead into pieces in consecutive blocks: the first fills the block begun (or starts one when
// less than SPLIT_MIN_ROOM is left), each next one a block of its own up to block_size, and the files after the
// last piece follow it in its block; the installer's image must then read piece records (reader mark revision 2). No
// block holds directory records alone unless the tree holds nothing else: such a block is folded into a neighbour,
// which may then pass block_size by those records. Throws ToolError naming the file that needs a block past max_blocks
// or takes the total unpacked size over 715827882 bytes.
std::vector<BlockPlan> plan_blocks(const std::vector<SourceEntry>& entries, const std::vector<char>& store,
                                   uint64_t block_size, int max_blocks, bool split_files = false);

// Room a block must have left for a large file's first piece to go in it rather than start the next block: a
// piece smaller than this would cost a record and a write for little.
constexpr uint64_t SPLIT_MIN_ROOM = 1 << 20;
