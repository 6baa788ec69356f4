// Reads the stub, finds the files to store, plans the blocks, packs them on all cores and writes the installer.
#include "pack.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>
#include <thread>

#include "container_writer.h"
#include "host.h"
#include "incompressible.h"
#include "install_memory.h"
#include "input_file.h"
#include "installer_file.h"
#include "ordered_jobs.h"
#include "progress_bar.h"
#include "payload/checksum.h"
#include "payload/format.h"
#include "payload/pipeline.h"
#include "product/reader_mark.h"
#include "payload/tail.h"
#include "platform/address_space.h"
#include "platform/thread.h"
#include "product_check.h"
#include "stub_image.h"
#include "tool_error.h"

namespace fs = std::filesystem;

namespace {

// Used when the system does not say how much memory there is.
constexpr uint64_t DEFAULT_MEMORY_BUDGET = 1ull << 30;

// One block as it goes into the file, with what its line reports.
struct PackedBlock {
    std::vector<uint8_t> bytes;
    size_t dirs = 0, files = 0;
};

std::vector<uint8_t> read_whole(const fs::path& path, uint64_t expected) {
    const InputFile in = open_input(path);
    // Below SOURCE_FILE_LIMIT (the walk refuses larger files), so it fits a 32-bit size_t.
    std::vector<uint8_t> data(static_cast<size_t>(expected));
    char beyond;
    if (!read_input_at(in.get(), path, 0, data.data(), data.size()) || fread(&beyond, 1, 1, in.get()) != 0)
        throw ToolError(path_for_display(path), "changed size while it was being packed");
    return data;
}

// A piece of a file: length bytes from offset, the file still of its walked size.
std::vector<uint8_t> read_piece(const SourceEntry& e, const FilePiece& piece) {
    const InputFile in = open_input(e.path);
    // A piece is a part of a file below SOURCE_FILE_LIMIT, so it fits a 32-bit size_t.
    std::vector<uint8_t> data(static_cast<size_t>(piece.length));
    char beyond;
    const bool last = piece.offset + piece.length == e.size;
    if (!read_input_at(in.get(), e.path, piece.offset, data.data(), data.size()) ||
        (last && fread(&beyond, 1, 1, in.get()) != 0))
        throw ToolError(path_for_display(e.path), "changed size while it was being packed");
    return data;
}

std::vector<uint8_t> build_stream(const std::vector<SourceEntry>& entries, const BlockPlan& plan) {
    RecordStreamWriter writer;
    for (int index : plan.records) {
        const SourceEntry& e = entries[index];
        const FilePiece* piece = piece_of(plan, index);
        if (e.is_dir) writer.add_dir(e.name);
        else if (piece)
            writer.add_piece(e.name, uint32_t(e.size), uint32_t(piece->offset), read_piece(e, *piece).data(),
                             size_t(piece->length));
        else writer.add_file(e.name, read_whole(e.path, e.size));
    }
    return writer.finish();
}

// Runs on a worker thread: reads the block's files, then encodes or stores the stream.
PackedBlock pack_block(const std::vector<SourceEntry>& entries, const BlockPlan& plan, const PackOptions& options,
                       const std::function<void(uint64_t)>& progress) {
    const std::vector<uint8_t> stream = build_stream(entries, plan);
    const std::string first = path_for_display(entries[plan.records.front()].path);
    if (stream.size() != plan.unpacked) throw ToolError(first, "block size differs from its plan");
    PackedBlock block;
    if (plan.stored) {
        block.bytes = stored_block(stream);
    } else {
        std::string error;
        if (!encode_block(stream, options.encode, &block.bytes, &error, progress)) throw ToolError(first, error);
        // LZMA data no smaller than the stream: the stream itself is as small and only copied when installed.
        if (options.stored && block.bytes.size() - BLOCK_HEADER_SIZE >= stream.size())
            block.bytes = stored_block(stream);
    }
    for (int index : plan.records) block.files += entries[index].is_dir ? 0 : 1;
    block.dirs = plan.records.size() - block.files;
    return block;
}

// Peak bytes pack_block takes: the stream and, while it grows, the file being read; then the encoder and its
// output, or the stored copy.
uint64_t block_cost(const BlockPlan& plan, const EncodeOptions& encode) {
    const uint64_t stream = plan.unpacked;
    return 2 * stream + (plan.stored ? BLOCK_HEADER_SIZE + stream : encode_memory(plan.unpacked, encode));
}

// The manifest of the planned blocks: their directories and files in stream order, a file spanning blocks once,
// with its whole size, where its first piece is.
std::vector<uint8_t> build_manifest(const std::vector<SourceEntry>& entries, const std::vector<BlockPlan>& plan) {
    ManifestWriter writer;
    for (const BlockPlan& block : plan)
        for (int index : block.records) {
            const SourceEntry& e = entries[index];
            const FilePiece* piece = piece_of(block, index);
            if (e.is_dir) writer.add_dir(e.name);
            else if (!piece || piece->offset == 0) writer.add_file(e.name, uint32_t(e.size));
        }
    return writer.finish();
}

void print_block(size_t index, const PackedBlock& block, uint32_t unpacked) {
    tool_print(stdout, "block %zu: %zu directories, %zu files, %u bytes -> %zu bytes, ", index, block.dirs, block.files,
               unsigned(unpacked), block.bytes.size());
    if (block_properties(block.bytes.data()) == BLOCK_PROPS_STORED) tool_print(stdout, "stored\n");
    else tool_print(stdout, "LZMA dictionary %u\n", unsigned(block_dictionary_size(block.bytes.data())));
}

unsigned job_threads(const PackOptions& options) {
    if (options.jobs) return options.jobs;
    const unsigned processors = std::thread::hardware_concurrency();
    return processors ? processors : 1;
}

// MiB to one decimal, rounded up, so that a small installer does not show 0.
double mib_up(uint64_t bytes) { return double((bytes * 10 + (1u << 20) - 1) >> 20) / 10; }

// What an old terminal needs to install the result, so that a vendor can choose a smaller --block-size.
void print_install_memory(const std::vector<BlockFootprint>& blocks) {
    const InstallMemory m = install_memory(blocks);
    printf(
        "installing needs about %.1f MiB of memory (up to %.1f MiB of blocks decoded at once and %.1f MiB of "
        "the installer read at a time, within the installer's %llu MiB budget)\n",
        mib_up(m.windows + m.decoded), mib_up(m.decoded), mib_up(m.windows),
        (unsigned long long)(PIPELINE_BUDGET_CAP >> 20));
}

// Half of the memory this process can put to use (the physical memory, or its address space where that is smaller:
// a 32-bit program), so that the blocks in progress leave room for everything else on the machine.
uint64_t memory_budget() {
    const uint64_t usable = std::min(os_physical_memory(), os_address_space());
    return usable ? usable / 2 : DEFAULT_MEMORY_BUDGET;
}

}  // namespace

uint64_t default_block_size(uint64_t product_bytes) {
    const uint64_t MiB = 1 << 20;
    const uint64_t quarter = (product_bytes + 4 * MiB - 1) / (4 * MiB) * MiB;
    return quarter < DEFAULT_BLOCK_MIN ? DEFAULT_BLOCK_MIN : quarter > DEFAULT_BLOCK_MAX ? DEFAULT_BLOCK_MAX : quarter;
}

void pack_installer(const PackOptions& options) {
    // The output first: a wrong OUT fails at once, not after minutes of compression.
    check_output(options.out, options.source);
    refuse_same_file(options.out, options.stub);
    InstallerFile file(options.out);
    // The stub and the tree are both checked before anything is compressed, and what is wrong with either is
    // reported together.
    std::vector<ToolProblem> problems;
    ProgramImage image;
    std::vector<uint8_t> stub;
    try {
        stub = read_stub_image(options.stub, options.stored, &image);
    } catch (const ToolError& e) {
        problems.insert(problems.end(), e.problems().begin(), e.problems().end());
    }
    std::vector<SourceEntry> entries;
    try {
        entries = walk_source_tree(options.source);
        if (entries.empty()) throw ToolError(path_for_display(options.source), "holds nothing to pack");
        for (const SourceEntry& e : entries)
            if (!e.is_dir) refuse_same_file(options.out, e.path);
        if (options.require_programs) check_product_programs(options.source, entries, options.flags);
    } catch (const ToolError& e) {
        problems.insert(problems.end(), e.problems().begin(), e.problems().end());
    }
    if (!problems.empty()) throw ToolError(MKI_FAILED, std::move(problems));
    // The image goes in with its CheckSum field 0, and gets the whole file's checksum at the end.
    std::fill_n(stub.begin() + long(image.checksum_at), 4, uint8_t(0));
    PeChecksum whole(image.checksum_at);
    auto append = [&](const std::vector<uint8_t>& bytes) {
        file.append(bytes);
        whole.add(bytes.data(), bytes.size());
    };
    // A manifest only behind an image that reads it; an older image gets the payload it always had.
    const bool manifest_wanted = reader_revision(stub) >= PAYLOAD_READER_MANIFEST;
    const unsigned threads = job_threads(options);
    const uint64_t budget = memory_budget();
    const std::vector<char> store =
        options.stored ? find_unshrinkable_files(entries, threads, budget) : std::vector<char>();
    // Files larger than a block are cut into pieces only for an image that reads them (the same revision of the
    // mark as the manifest).
    uint64_t product_bytes = 0;
    for (const SourceEntry& e : entries) product_bytes += e.is_dir ? 0 : e.size;
    const uint64_t block_size = options.block_size ? options.block_size : default_block_size(product_bytes);
    const std::vector<BlockPlan> plan =
        plan_blocks(entries, store, block_size, pack_max_blocks(options.checksums, manifest_wanted), manifest_wanted);
    const std::vector<uint8_t> manifest = manifest_wanted ? build_manifest(entries, plan) : std::vector<uint8_t>();

    append(stub);
    append(manifest);
    std::unique_ptr<TerminalProgress> bar(
        options.progress || options.progress_lines ? new TerminalProgress(stderr, true, !options.progress) : nullptr);
    if (bar) {
        uint64_t unpacked = 0;
        for (const BlockPlan& block : plan) unpacked += block.unpacked;
        bar->set_total(unpacked);
    }
    std::vector<PackedBlock> packed(plan.size());
    std::vector<uint32_t> sizes, checksums;
    std::vector<BlockFootprint> footprints;
    uint32_t total = 0;
    OrderedJobs jobs;
    jobs.count = plan.size();
    jobs.cost = [&](size_t i) { return block_cost(plan[i], options.encode); };
    jobs.run = [&](size_t i) {
        // The bar moves while the block is encoded, by the stream bytes the encoder has taken in.
        uint64_t shown = 0;
        std::function<void(uint64_t)> progress;
        if (bar)
            progress = [&](uint64_t in) {
                if (in <= shown) return;
                bar->add_block(in - shown, 0);
                shown = in;
            };
        packed[i] = pack_block(entries, plan[i], options, progress);
        if (bar) bar->add_block(plan[i].unpacked - std::min<uint64_t>(shown, plan[i].unpacked), packed[i].bytes.size());
        return uint64_t(packed[i].bytes.size());
    };
    jobs.take = [&](size_t i) {
        const PackedBlock block = std::move(packed[i]);
        print_block(i, block, plan[i].unpacked);
        append(block.bytes);
        sizes.push_back(uint32_t(block.bytes.size()));
        footprints.push_back(
            {block.bytes.size(), plan[i].unpacked, block_properties(block.bytes.data()) == BLOCK_PROPS_STORED});
        if (options.checksums) checksums.push_back(block_checksum(block.bytes.data(), int32_t(block.bytes.size())));
        total += plan[i].unpacked;
    };
    run_ordered_jobs(jobs, threads, budget);

    const int flags = options.flags | (options.checksums ? PAYLOAD_FLAG_CHECKSUMS : 0) |
                      (manifest.empty() ? 0 : PAYLOAD_FLAG_MANIFEST);
    append(payload_tail(uint32_t(stub.size() + manifest.size()), sizes, total, uint8_t(flags), checksums, manifest));
    const uint32_t checksum = whole.value();
    file.overwrite(image.checksum_at,
                   {uint8_t(checksum), uint8_t(checksum >> 8), uint8_t(checksum >> 16), uint8_t(checksum >> 24)});
    file.commit();
    if (bar) bar->finish(true);
    bar.reset();
    tool_print(stdout, "wrote %s: %llu bytes, %zu blocks, %u bytes unpacked, flags %d\n",
               path_for_display(options.out).c_str(), (unsigned long long)file.size(), plan.size(), total, flags);
    print_install_memory(footprints);
}
