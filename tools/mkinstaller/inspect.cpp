// The list and verify commands: one walk over the payload, printing or only checking.
#include "inspect.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "exit_codes.h"
#include "host.h"
#include "name_key.h"
#include "payload/decode.h"
#include "payload/extract.h"
#include "payload/payload.h"
#include "payload/records.h"
#include "tree_walk.h"

namespace {

// Directory and trailer as stored; read only after read_payload_file has accepted them.
struct Layout {
    int32_t file_size = 0;
    int32_t dir_offset = 0;
    int32_t first_block = 0;
    std::vector<int32_t> sizes;
};

bool read_layout(const char* path, Layout* layout) {
    FILE* file = fopen(path, "rb");
    if (!file) return false;
    unsigned char tail[PAYLOAD_TAIL_LIMIT];
    bool ok = fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? ftell(file) : -1;
    ok = ok && size >= PAYLOAD_TRAILER_SIZE && fseek(file, size - PAYLOAD_TRAILER_SIZE, SEEK_SET) == 0 &&
         fread(tail, 1, PAYLOAD_TRAILER_SIZE, file) == size_t(PAYLOAD_TRAILER_SIZE);
    if (ok) {
        layout->file_size = int32_t(size);
        layout->dir_offset = int32_t(read_be32(tail));
        const long tail_size = size - layout->dir_offset;
        ok = tail_size > 0 && tail_size <= PAYLOAD_TAIL_LIMIT && fseek(file, layout->dir_offset, SEEK_SET) == 0 &&
             fread(tail, 1, size_t(tail_size), file) == size_t(tail_size);
        if (ok) {
            layout->first_block = int32_t(read_be32(tail));
            const int32_t n = int32_t(read_be32(tail + 4));
            for (int32_t i = 0; i < n && 8 + 4 * i + 4 <= tail_size; ++i)
                layout->sizes.push_back(int32_t(read_be32(tail + 8 + 4 * i)));
        }
    }
    fclose(file);
    return ok;
}

void print_layout(const Layout& layout, PayloadBlock** blocks, int32_t count, uint32_t total, int flags) {
    printf("directory at %d: first block at %d, %d blocks\n", layout.dir_offset, layout.first_block, count);
    int64_t offset = layout.first_block;
    for (int32_t i = 0; i < count; ++i) {
        const unsigned char* h = blocks[i]->data;
        const int props = blocks[i]->size >= BLOCK_HEADER_SIZE ? h[4] : -1;
        const uint32_t dict = props < 0 ? 0 : uint32_t(h[5] | h[6] << 8 | h[7] << 16 | uint32_t(h[8]) << 24);
        printf("  block %d at %lld: stored %d, unpacked %u, properties %d (lc %d lp %d pb %d), dictionary %u\n", i,
               (long long)offset, blocks[i]->size, props < 0 ? 0 : block_unpacked_size(h), props, props % 9,
               props / 9 % 5, props / 45, dict);
        offset += blocks[i]->size;
    }
    printf("trailer: directory at %d, total unpacked %u, flags %d\n", layout.dir_offset, total, flags);
}

struct Counts {
    size_t dirs = 0, files = 0;
};

// Walks one decoded stream; throws std::runtime_error with the reason at the first fault.
void walk_block(int32_t index, const unsigned char* stream, int32_t length, bool print, Counts* counts) {
    const std::string where = "block " + std::to_string(index) + ": ";
    if (print) printf("block %d:\n", index);
    std::set<std::string> dirs;  // keys of the directories this block has created so far
    RecordCursor cursor;
    start_records(&cursor, stream, length);
    Record r;
    int result;
    while (true) {
        const int32_t offset = cursor.pos;
        result = next_record(&cursor, &r);
        if (result != WALK_RECORD) {
            if (result != WALK_END)
                throw std::runtime_error(where + "offset " + std::to_string(offset) + ": " + walk_result_text(result));
            break;
        }
        const std::string shown = cp936_for_display(r.name, r.name_len);
        if (print) {
            if (r.type == RECORD_DIR) printf("  dir  %12s  %s\n", "", shown.c_str());
            else printf("  file %12d  %s\n", r.data_len, shown.c_str());
        }
        // Directories are made one level at a time, so a missing parent makes the installer fail here.
        const size_t parent = parent_len(r.name, r.name_len);
        if (parent > 0 && !dirs.count(name_key(r.name, parent)))
            throw std::runtime_error(where + shown + ": its directory is not created earlier in the block");
        if (r.name_len > STORED_NAME_LIMIT)
            throw std::runtime_error(where + shown + ": name too long to fit beside any install directory");
        if (r.type == RECORD_DIR) {
            dirs.insert(name_key(r.name, r.name_len));
            ++counts->dirs;
        } else {
            ++counts->files;
        }
    }
    if (print) {
        if (r.type == RECORD_END) printf("  end\n");
        else printf("  type %d (ends the stream)\n", r.type);
    }
    if (r.type != RECORD_END)
        throw std::runtime_error(where + "stream ends with type " + std::to_string(r.type) + " at offset " +
                                std::to_string(cursor.pos - 1) + " instead of an end record");
    if (cursor.pos != length)
        throw std::runtime_error(where + std::to_string(length - cursor.pos) + " bytes after the end record");
}

int damaged(const char* path, const std::string& reason) {
    fprintf(stderr, "mkinstaller: %s: %s\n", path, reason.c_str());
    return MKI_DAMAGED;
}

}  // namespace

int inspect_installer(const char* path, bool print) {
    int32_t count = 0;
    uint32_t total = 0;
    int flags = 0;
    PayloadBlock** blocks = read_payload_file(path, &count, &total, &flags);
    if (!blocks) return damaged(path, "cannot be opened, or holds no payload the installer can read");
    Layout layout;
    if (!read_layout(path, &layout)) {
        free_payload(blocks, count);
        return damaged(path, "cannot be read again");
    }
    if (print) print_layout(layout, blocks, count, total, flags);

    Counts counts;
    uint64_t sum = 0;
    int64_t end = layout.first_block;
    try {
        for (int32_t i = 0; i < count; ++i) end += blocks[i]->size;
        if (end != layout.dir_offset)
            throw std::runtime_error("blocks end at " + std::to_string(end) + ", not at the directory (" +
                                    std::to_string(layout.dir_offset) + ")");
        for (int32_t i = 0; i < count; ++i) {
            std::unique_ptr<unsigned char, decltype(&free)> stream(decode_block(blocks[i]->data, blocks[i]->size), free);
            if (!stream) throw std::runtime_error("block " + std::to_string(i) + ": does not decode (damaged data)");
            const int32_t length = int32_t(block_unpacked_size(blocks[i]->data));
            sum += uint32_t(length);
            walk_block(i, stream.get(), length, print, &counts);
        }
        if (sum != total)
            throw std::runtime_error("blocks unpack to " + std::to_string(sum) + " bytes, the trailer says " +
                                    std::to_string(total));
        if (total > PAYLOAD_MAX_TOTAL_UNPACKED)
            throw std::runtime_error("total unpacked size over " + std::to_string(PAYLOAD_MAX_TOTAL_UNPACKED) + " bytes");
    } catch (const std::runtime_error& e) {
        fflush(stdout);
        free_payload(blocks, count);
        return damaged(path, e.what());
    }
    free_payload(blocks, count);
    printf("%s: ok: %d blocks, %zu directories, %zu files, %u bytes unpacked, flags %d\n", path, count, counts.dirs,
           counts.files, total, flags);
    return MKI_OK;
}
