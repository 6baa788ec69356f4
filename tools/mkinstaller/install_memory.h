// The memory an installer takes to install its payload, figured as the installer's engine lays it out.
#pragma once
#include <cstdint>
#include <vector>

// One block as the installer holds it.
struct BlockFootprint {
    uint64_t stored;    // bytes in the file, header included
    uint64_t unpacked;  // its record stream
    bool is_stored;     // copied from the installer as its records are written, with no buffer of its own
};

// The installer's peak: the blocks in flight at once, each with the window it is read from the installer through
// (DECODE_STEP bytes: an LZMA block's input, a stored block's copy) and an LZMA block with its decoded buffer too.
// The payload is never read whole. The pipeline admits blocks in order while their bytes stay within
// PIPELINE_BUDGET_CAP (a block alone may pass it), so the peak is the largest such run, on a machine with a core
// for each block and 512 MiB or more (below that the budget is a quarter of the memory, and fewer blocks are in
// flight). The decoder's own state (its probability tables, some KiB per thread) is left out.
struct InstallMemory {
    uint64_t windows;  // the windows of the blocks in that run
    uint64_t decoded;  // the decoded buffers of its LZMA blocks
};
InstallMemory install_memory(const std::vector<BlockFootprint>& blocks);
