// Plans blocks, builds their record streams from the files, encodes them and writes the installer.
#include "pack.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "container_writer.h"
#include "host.h"
#include "pack_error.h"
#include "payload/payload.h"
#include "payload/tail.h"

namespace fs = std::filesystem;

namespace {

// Bytes a record takes in the stream: type, name length, name, and for a file its length and data.
uint64_t record_size(const SourceEntry& e) {
    const uint64_t named = RECORD_TYPE_SIZE + RECORD_NAME_LENGTH_SIZE + e.name.size();
    return e.is_dir ? named : named + RECORD_DATA_LENGTH_SIZE + e.size;
}

class Planner {
public:
    Planner(const std::vector<SourceEntry>& entries, uint64_t block_size, int max_blocks)
        : entries_(entries), block_size_(block_size), max_blocks_(max_blocks), block_of_(entries.size(), -1) {}

    void add(int index) {
        uint64_t need = missing_parents_size(index) + record_size(entries_[index]);
        if (own_records_ && size_ + need > block_size_) {
            close();
            need = missing_parents_size(index) + record_size(entries_[index]);
        }
        if (closed_) open(index);
        if (total_ + need > PAYLOAD_MAX_TOTAL_UNPACKED)
            throw PackError(path_for_display(entries_[index].path),
                            "takes the total unpacked size over " + std::to_string(PAYLOAD_MAX_TOTAL_UNPACKED) +
                                " bytes, the most an installer's progress range allows");
        add_parents(entries_[index].parent);
        append(index);
        own_records_ = true;
    }

    // Ends the current block; the next record starts a new one.
    void close() {
        closed_ = true;
        own_records_ = false;
    }

    std::vector<BlockPlan> finish() { return std::move(blocks_); }

private:
    uint64_t missing_parents_size(int index) const {
        uint64_t size = 0;
        for (int p = entries_[index].parent; p >= 0 && !in_block(p); p = entries_[p].parent)
            size += record_size(entries_[p]);
        return size;
    }

    bool in_block(int index) const { return !closed_ && block_of_[index] == int(blocks_.size()) - 1; }

    void open(int index) {
        if (int(blocks_.size()) == max_blocks_)
            throw PackError(path_for_display(entries_[index].path),
                            "needs block " + std::to_string(max_blocks_ + 1) + "; an installer holds at most " +
                                std::to_string(max_blocks_) + " (raise --block-size)");
        blocks_.emplace_back();
        closed_ = false;
        own_records_ = false;
        size_ = RECORD_TYPE_SIZE;  // the end record
        total_ += RECORD_TYPE_SIZE;
        blocks_.back().unpacked = RECORD_TYPE_SIZE;
    }

    // Parents first, outermost first, each only once per block.
    void add_parents(int parent) {
        if (parent < 0 || in_block(parent)) return;
        add_parents(entries_[parent].parent);
        append(parent);
    }

    void append(int index) {
        const uint64_t size = record_size(entries_[index]);
        blocks_.back().records.push_back(index);
        blocks_.back().unpacked += uint32_t(size);
        block_of_[index] = int(blocks_.size()) - 1;
        size_ += size;
        total_ += size;
    }

    const std::vector<SourceEntry>& entries_;
    const uint64_t block_size_;
    const int max_blocks_;
    std::vector<int> block_of_;  // the block an entry was last written into
    std::vector<BlockPlan> blocks_;
    bool closed_ = true;
    bool own_records_ = false;  // the current block holds a record beyond its repeated parents
    uint64_t size_ = 0;         // of the current block
    uint64_t total_ = 0;        // of all blocks so far
};

std::vector<uint8_t> read_whole(const fs::path& path, uint64_t expected) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw PackError(path_for_display(path), "cannot be opened for reading");
    std::vector<uint8_t> data(expected);
    in.read(reinterpret_cast<char*>(data.data()), std::streamsize(expected));
    if (uint64_t(in.gcount()) != expected || in.peek() != std::ifstream::traits_type::eof())
        throw PackError(path_for_display(path), "changed size while it was being packed");
    return data;
}

std::vector<uint8_t> build_stream(const std::vector<SourceEntry>& entries, const BlockPlan& plan) {
    RecordStreamWriter writer;
    for (int index : plan.records) {
        const SourceEntry& e = entries[index];
        if (e.is_dir) writer.add_dir(e.name);
        else writer.add_file(e.name, read_whole(e.path, e.size));
    }
    return writer.finish();
}

void write_installer(const fs::path& out, const std::vector<uint8_t>& stub,
                     const std::vector<std::vector<uint8_t>>& blocks, const std::vector<uint8_t>& tail) {
    const std::string shown = path_for_display(out);
    fs::path temp = out;
    temp += ".partial";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        if (!file) throw PackError(shown, "cannot be written (" + path_for_display(temp) + " cannot be created)");
        file.write(reinterpret_cast<const char*>(stub.data()), std::streamsize(stub.size()));
        for (const auto& b : blocks) file.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        file.write(reinterpret_cast<const char*>(tail.data()), std::streamsize(tail.size()));
        file.close();
        if (!file) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            throw PackError(shown, "cannot be written (disk full?)");
        }
    }
    std::error_code ec;
    fs::rename(temp, out, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw PackError(shown, "cannot be replaced: " + ec.message());
    }
}

}  // namespace

int pack_max_blocks(bool checksums) {
    // The tail stays under the limit: first-block offset, count and trailer, then 4 or 8 bytes a block.
    const int room = PAYLOAD_TAIL_LIMIT - 1 - DIRECTORY_HEADER_SIZE - PAYLOAD_TRAILER_SIZE;
    return room / (DIRECTORY_ENTRY_SIZE + (checksums ? CHECKSUM_ENTRY_SIZE : 0));
}

std::vector<BlockPlan> plan_blocks(const std::vector<SourceEntry>& entries, uint64_t block_size, int max_blocks) {
    Planner planner(entries, block_size, max_blocks);
    // The programs the installer launches are loose files at the top: small and first.
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].parent < 0 && !entries[i].is_dir) planner.add(int(i));
    planner.close();
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].parent >= 0 || entries[i].is_dir) planner.add(int(i));
    return planner.finish();
}

void pack_installer(const PackOptions& options) {
    std::ifstream stub_file(options.stub, std::ios::binary);
    if (!stub_file) throw PackError(path_for_display(options.stub), "cannot be opened for reading");
    const std::vector<uint8_t> stub((std::istreambuf_iterator<char>(stub_file)), std::istreambuf_iterator<char>());
    if (stub.empty()) throw PackError(path_for_display(options.stub), "is empty; the stub is the installer's program image");

    const std::vector<SourceEntry> entries = walk_source_tree(options.source);
    if (entries.empty()) throw PackError(path_for_display(options.source), "holds nothing to pack");
    const std::vector<BlockPlan> plan =
        plan_blocks(entries, options.block_size, pack_max_blocks(options.checksums));

    std::vector<std::vector<uint8_t>> blocks;
    std::vector<uint32_t> stored_sizes, checksums;
    uint32_t total = 0;
    uint64_t file_size = stub.size();
    for (size_t i = 0; i < plan.size(); ++i) {
        const std::vector<uint8_t> stream = build_stream(entries, plan[i]);
        const std::string first = path_for_display(entries[plan[i].records.front()].path);
        if (stream.size() != plan[i].unpacked) throw PackError(first, "block size differs from its plan");
        std::vector<uint8_t> stored;
        std::string error;
        if (!encode_block(stream, options.encode, &stored, &error)) throw PackError(first, error);
        size_t files = 0;
        for (int index : plan[i].records) files += entries[index].is_dir ? 0 : 1;
        printf("block %zu: %zu directories, %zu files, %zu bytes -> %zu stored, dictionary %u\n", i,
               plan[i].records.size() - files, files, stream.size(), stored.size(),
               unsigned(block_dictionary_size(stored.data())));
        total += plan[i].unpacked;
        file_size += stored.size();
        stored_sizes.push_back(uint32_t(stored.size()));
        if (options.checksums) checksums.push_back(block_checksum(stored.data(), int32_t(stored.size())));
        blocks.push_back(std::move(stored));
    }

    const int flags = options.flags | (options.checksums ? PAYLOAD_FLAG_CHECKSUMS : 0);
    const std::vector<uint8_t> tail = payload_tail(uint32_t(stub.size()), stored_sizes, total, uint8_t(flags), checksums);
    file_size += tail.size();
    // The installer reads its own size as a signed 32-bit file position.
    if (file_size >= 0x80000000u) throw PackError(path_for_display(options.out), "would be 2 GiB or larger");
    write_installer(options.out, stub, blocks, tail);
    printf("wrote %s: %zu bytes, %zu blocks, %u bytes unpacked, flags %d\n", path_for_display(options.out).c_str(),
           size_t(file_size), blocks.size(), total, flags);
}
