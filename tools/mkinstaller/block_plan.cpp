// Plans the blocks: loose files first, then the rest in walk order, files LZMA does not shrink last.
#include "block_plan.h"

#include <algorithm>

#include "host.h"
#include "tool_error.h"
#include "payload/format.h"

namespace {

// Bytes a record takes in the stream: type, name length, name, and for a file its length and data.
uint64_t record_size(const SourceEntry& e) {
    const uint64_t named = RECORD_TYPE_SIZE + RECORD_NAME_LENGTH_SIZE + e.name.size();
    return e.is_dir ? named : named + RECORD_DATA_LENGTH_SIZE + e.size;
}

// Bytes a piece record takes besides its data: type, name length, name, size, offset, length.
uint64_t piece_head_size(const SourceEntry& e) {
    return RECORD_TYPE_SIZE + RECORD_NAME_LENGTH_SIZE + e.name.size() + RECORD_PIECE_FIELDS_SIZE;
}

class Planner {
public:
    Planner(const std::vector<SourceEntry>& entries, uint64_t block_size, int max_blocks, bool split_files)
        : entries_(entries),
          block_size_(block_size),
          max_blocks_(max_blocks),
          split_files_(split_files),
          block_of_(entries.size(), -1) {}

    void add(int index) {
        const SourceEntry& e = entries_[index];
        if (split_files_ && !e.is_dir && record_size(e) > block_size_ &&
            piece_head_size(e) + SPLIT_MIN_ROOM < block_size_)
            return add_in_pieces(index);
        uint64_t need = missing_parents_size(index) + record_size(entries_[index]);
        if (own_records_ && size_ + need > block_size_) {
            close();
            need = missing_parents_size(index) + record_size(entries_[index]);
        }
        if (closed_) open(index);
        if (total_ + need > PAYLOAD_MAX_TOTAL_UNPACKED)
            throw ToolError(path_for_display(entries_[index].path),
                            "takes the total unpacked size over " + std::to_string(PAYLOAD_MAX_TOTAL_UNPACKED) +
                                " bytes, the most an installer's progress range allows");
        add_parents(entries_[index].parent);
        append(index);
        own_records_ = true;
    }

    // A file larger than a block, in pieces: each fills what its block has left.
    void add_in_pieces(int index) {
        const SourceEntry& e = entries_[index];
        uint64_t offset = 0;
        while (offset < e.size) {
            uint64_t room = closed_ ? 0 : block_size_ - std::min(block_size_, size_ + missing_parents_size(index));
            if (room < piece_head_size(e) + SPLIT_MIN_ROOM) {
                if (!closed_) close();
                open(index);
                room = block_size_ - std::min(block_size_, size_ + missing_parents_size(index));
            }
            const uint64_t length = std::min(e.size - offset, room - piece_head_size(e));
            if (total_ + missing_parents_size(index) + piece_head_size(e) + length > PAYLOAD_MAX_TOTAL_UNPACKED)
                throw ToolError(path_for_display(e.path), "takes the total unpacked size over " +
                                                              std::to_string(PAYLOAD_MAX_TOTAL_UNPACKED) +
                                                              " bytes, the most an installer's progress range allows");
            add_parents(e.parent);
            blocks_.back().pieces.push_back(FilePiece{index, offset, length});
            append_bytes(index, piece_head_size(e) + length);
            own_records_ = true;
            offset += length;
            if (offset < e.size) close();
        }
    }

    // Ends the current block; the next record starts a new one.
    void close() {
        closed_ = true;
        own_records_ = false;
    }

    // Ends the current block; the blocks from now on are stored ones.
    void start_stored() {
        close();
        stored_ = true;
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
            throw ToolError(path_for_display(entries_[index].path),
                            "needs block " + std::to_string(max_blocks_ + 1) + "; an installer holds at most " +
                                std::to_string(max_blocks_) + " (raise --block-size)");
        blocks_.emplace_back();
        closed_ = false;
        own_records_ = false;
        size_ = RECORD_TYPE_SIZE;  // the end record
        total_ += RECORD_TYPE_SIZE;
        blocks_.back().unpacked = RECORD_TYPE_SIZE;
        blocks_.back().stored = stored_;
    }

    // Parents first, outermost first, each only once per block.
    void add_parents(int parent) {
        if (parent < 0 || in_block(parent)) return;
        add_parents(entries_[parent].parent);
        append(parent);
    }

    void append(int index) { append_bytes(index, record_size(entries_[index])); }

    void append_bytes(int index, uint64_t size) {
        blocks_.back().records.push_back(index);
        blocks_.back().unpacked += uint32_t(size);
        block_of_[index] = int(blocks_.size()) - 1;
        size_ += size;
        total_ += size;
    }

    const std::vector<SourceEntry>& entries_;
    const uint64_t block_size_;
    const int max_blocks_;
    const bool split_files_;
    std::vector<int> block_of_;  // the block an entry was last written into
    std::vector<BlockPlan> blocks_;
    bool closed_ = true;
    bool own_records_ = false;  // the current block holds a record beyond its repeated parents
    bool stored_ = false;       // blocks opened from now on are stored ones
    uint64_t size_ = 0;         // of the current block
    uint64_t total_ = 0;        // of all blocks so far
};

// The entries of the LZMA blocks: the files not marked in store, and the directories that are empty or hold
// one of those files or such a directory somewhere below them. A directory that leads only to stored files is
// left to the stored blocks, which repeat it anyway, so that no block holds it alone.
std::vector<char> lzma_entries(const std::vector<SourceEntry>& entries, const std::vector<char>& store) {
    std::vector<char> in_lzma(entries.size(), 0), has_child(entries.size(), 0);
    for (const SourceEntry& e : entries)
        if (e.parent >= 0) has_child[e.parent] = 1;
    // Children come after their directory in walk order: going backwards, each is settled before its parent.
    for (size_t i = entries.size(); i-- > 0;) {
        const SourceEntry& e = entries[i];
        if (e.is_dir ? !has_child[i] : store.empty() || !store[i]) in_lzma[i] = 1;
        if (in_lzma[i] && e.parent >= 0) in_lzma[e.parent] = 1;
    }
    return in_lzma;
}

bool only_directories(const std::vector<SourceEntry>& entries, const BlockPlan& block) {
    for (int index : block.records)
        if (!entries[index].is_dir) return false;
    return true;
}

// The records of first, then those of second that first does not hold already: parents stay before their
// contents, since each block lists its own parents first.
std::vector<int> joined_records(const std::vector<int>& first, const std::vector<int>& second) {
    std::vector<int> records = first;
    for (int index : second)
        if (std::find(first.begin(), first.end(), index) == first.end()) records.push_back(index);
    return records;
}

// A block of directory records alone would install nothing but folders, and is a block the installer reads
// and a size entry for nothing: its records go into the block after it (whose file did not fit beside them),
// or, at the end of the blocks of its kind, into the block before it. Only a tree of directories alone keeps
// one. The block folded into may pass the block size by those directory records.
void fold_directory_only_blocks(const std::vector<SourceEntry>& entries, std::vector<BlockPlan>* blocks) {
    for (size_t i = 0; i < blocks->size();) {
        BlockPlan& block = (*blocks)[i];
        if (blocks->size() < 2 || !only_directories(entries, block)) {
            ++i;
            continue;
        }
        const bool into_next = i + 1 < blocks->size() && ((*blocks)[i + 1].stored == block.stored || i == 0);
        BlockPlan& target = into_next ? (*blocks)[i + 1] : (*blocks)[i - 1];
        target.records =
            into_next ? joined_records(block.records, target.records) : joined_records(target.records, block.records);
        uint64_t unpacked = RECORD_TYPE_SIZE;  // the end record
        for (int index : target.records) {
            const FilePiece* piece = piece_of(target, index);
            unpacked += piece ? piece_head_size(entries[index]) + piece->length : record_size(entries[index]);
        }
        target.unpacked = uint32_t(unpacked);
        blocks->erase(blocks->begin() + std::ptrdiff_t(i));
    }
}

}  // namespace

const FilePiece* piece_of(const BlockPlan& block, int index) {
    for (const FilePiece& piece : block.pieces)
        if (piece.record == index) return &piece;
    return nullptr;
}

int pack_max_blocks(bool checksums, bool manifest) {
    // The tail stays under the limit: first-block offset, count, the manifest's locator and the trailer, then
    // 4 or 8 bytes a block.
    const int room =
        PAYLOAD_TAIL_LIMIT - 1 - DIRECTORY_HEADER_SIZE - PAYLOAD_TRAILER_SIZE - (manifest ? MANIFEST_LOCATOR_SIZE : 0);
    return room / (DIRECTORY_ENTRY_SIZE + (checksums ? CHECKSUM_ENTRY_SIZE : 0));
}

std::vector<BlockPlan> plan_blocks(const std::vector<SourceEntry>& entries, const std::vector<char>& store,
                                   uint64_t block_size, int max_blocks, bool split_files) {
    Planner planner(entries, block_size, max_blocks, split_files);
    auto stored = [&](size_t i) { return !store.empty() && store[i]; };
    const std::vector<char> in_lzma = lzma_entries(entries, store);
    // The programs the installer launches are loose files at the top: small and first, and in LZMA.
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].parent < 0 && !entries[i].is_dir) planner.add(int(i));
    planner.close();
    for (size_t i = 0; i < entries.size(); ++i)
        if ((entries[i].parent >= 0 || entries[i].is_dir) && in_lzma[i]) planner.add(int(i));
    // Stored blocks after the LZMA blocks. Every block is self-contained, so the place is free: here the
    // loose programs' block stays first, the LZMA blocks follow in walk order, and the stored ones, which
    // unpack by a mere copy, come together at the end.
    planner.start_stored();
    for (size_t i = 0; i < entries.size(); ++i)
        if (stored(i)) planner.add(int(i));
    std::vector<BlockPlan> blocks = planner.finish();
    fold_directory_only_blocks(entries, &blocks);
    return blocks;
}
