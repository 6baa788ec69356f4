// Tries a quick LZMA pass on a sample of each large file to find those that belong in stored blocks.
#include "incompressible.h"

#include "block_encoder.h"
#include "host.h"
#include "input_file.h"
#include "ordered_jobs.h"
#include "tool_error.h"
#include "payload/format.h"

namespace {

// LZMA runs about as slowly on incompressible data at level 1 as at level 9 (a few MiB a second), so
// the sample is kept small: enough to tell media and archives from the rest.
constexpr uint64_t SAMPLE_WHOLE = 256 << 10;  // files up to this size are tried whole
constexpr uint64_t SAMPLE_SLICES = 8;         // larger ones by this many slices
constexpr uint64_t SAMPLE_SLICE = 32 << 10;
// A sample that LZMA keeps at this percentage of its size or more is not worth compressing.
constexpr uint64_t SHRINK_PERCENT = 97;

EncodeOptions quick_pass() {
    EncodeOptions options;
    options.level = 1;
    options.dict_size = 64 << 10;  // level 1's own; a larger one doubles the time and finds little more
    return options;
}

uint64_t sample_size(const SourceEntry& file) {
    return file.size <= SAMPLE_WHOLE ? file.size : SAMPLE_SLICES * SAMPLE_SLICE;
}

std::vector<uint8_t> read_sample(const SourceEntry& file) {
    const InputFile in = open_input(file.path);
    const bool whole = file.size <= SAMPLE_WHOLE;
    const uint64_t slices = whole ? 1 : SAMPLE_SLICES;
    const uint64_t slice = whole ? file.size : SAMPLE_SLICE;
    std::vector<uint8_t> sample(static_cast<size_t>(sample_size(file)));  // at most SAMPLE_WHOLE bytes
    for (uint64_t k = 0; k < slices; ++k) {
        const uint64_t at = whole ? 0 : k * (file.size - slice) / (slices - 1);
        if (!read_input_at(in.get(), file.path, at, sample.data() + k * slice, size_t(slice)))
            throw ToolError(path_for_display(file.path), "changed size while it was being packed");
    }
    return sample;
}

bool is_candidate(const SourceEntry& e) { return !e.is_dir && e.parent >= 0 && e.size >= STORE_MIN_FILE; }

}  // namespace

bool lzma_does_not_shrink(const SourceEntry& file) {
    const std::vector<uint8_t> sample = read_sample(file);
    std::vector<uint8_t> block;
    std::string error;
    if (!encode_block(sample, quick_pass(), &block, &error)) throw ToolError(path_for_display(file.path), error);
    return (block.size() - BLOCK_HEADER_SIZE) * 100 >= sample.size() * SHRINK_PERCENT;
}

std::vector<char> find_unshrinkable_files(const std::vector<SourceEntry>& entries, unsigned threads, uint64_t budget) {
    std::vector<char> unshrinkable(entries.size(), 0);
    std::vector<size_t> candidates;
    for (size_t i = 0; i < entries.size(); ++i)
        if (is_candidate(entries[i])) candidates.push_back(i);
    OrderedJobs jobs;
    jobs.count = candidates.size();
    jobs.cost = [&](size_t k) {
        const uint64_t sample = sample_size(entries[candidates[k]]);
        return sample + encode_memory(size_t(sample), quick_pass());
    };
    jobs.run = [&](size_t k) {
        unshrinkable[candidates[k]] = lzma_does_not_shrink(entries[candidates[k]]) ? 1 : 0;
        return uint64_t(0);
    };
    jobs.take = [](size_t) {};
    run_ordered_jobs(jobs, threads, budget);
    return unshrinkable;
}
