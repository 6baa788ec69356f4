// Figures the installer's peak memory: the largest run of blocks the pipeline admits, with their windows.
#include "install_memory.h"

#include "payload/decode.h"
#include "payload/pipeline.h"

InstallMemory install_memory(const std::vector<BlockFootprint>& blocks) {
    InstallMemory memory{0, 0};
    // The blocks in flight are those claimed and not yet extracted: a run in order, starting anywhere.
    for (size_t first = 0; first < blocks.size(); ++first) {
        uint64_t in_flight = 0, decoded = 0;
        for (size_t i = first; i < blocks.size(); ++i) {
            const uint64_t buffer = blocks[i].is_stored ? 0 : blocks[i].unpacked;
            const uint64_t need = buffer + DECODE_STEP;
            if (in_flight > 0 && in_flight + need > PIPELINE_BUDGET_CAP) break;
            in_flight += need;
            decoded += buffer;
        }
        if (in_flight > memory.windows + memory.decoded) memory = InstallMemory{in_flight - decoded, decoded};
    }
    return memory;
}
