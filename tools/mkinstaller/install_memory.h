// The memory an installer takes to install its payload, figured as the installer's engine lays it out.
#pragma once
#include <cstdint>
#include <vector>

// One block as the installer holds it.
struct BlockFootprint {
    uint64_t stored;    // bytes in the file, header included
    uint64_t unpacked;  // its record stream
    bool is_stored;     // extracted from where it lies, with no buffer of its own
};

// The installer's peak: the payload read whole into memory (every block as stored) before anything is
// decoded, plus the decoded buffers of the LZMA blocks in flight at once. The pipeline admits LZMA blocks in
// order while their unpacked bytes stay within PIPELINE_BUDGET_CAP (a block alone may pass it), so the peak
// is the largest such run, on a machine with a core for each block and 512 MiB or more (below that the
// budget is a quarter of the memory, and fewer blocks are in flight). The decoder's own state (its
// probability tables, some KiB per thread) is left out.
struct InstallMemory {
    uint64_t payload;
    uint64_t decoded;
};
InstallMemory install_memory(const std::vector<BlockFootprint>& blocks);
