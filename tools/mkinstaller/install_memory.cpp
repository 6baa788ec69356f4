// Figures the installer's peak memory: the stored payload plus the largest run of blocks the pipeline admits.
#include "install_memory.h"

#include "payload/pipeline.h"

InstallMemory install_memory(const std::vector<BlockFootprint>& blocks) {
    InstallMemory memory{0, 0};
    for (const BlockFootprint& b : blocks) memory.payload += b.stored;
    // The blocks in flight are those claimed and not yet extracted: a run in order, starting anywhere.
    for (size_t first = 0; first < blocks.size(); ++first) {
        uint64_t in_flight = 0;
        for (size_t i = first; i < blocks.size(); ++i) {
            const uint64_t need = blocks[i].is_stored ? 0 : blocks[i].unpacked;
            if (in_flight > 0 && in_flight + need > PIPELINE_BUDGET_CAP) break;
            in_flight += need;
        }
        if (in_flight > memory.decoded) memory.decoded = in_flight;
    }
    return memory;
}
