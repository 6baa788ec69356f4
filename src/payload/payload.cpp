// Reads the payload's trailer, directory and blocks out of an installer file, saying why when it cannot.
#include "payload/payload.h"

#include <cstdlib>
#include <cstring>

#include "payload/checksum.h"
#include "payload/decode.h"
#include "payload/manifest.h"
#include "payload/tail.h"
#include "platform/file.h"
#include "platform/os.h"
#include "platform/thread.h"

// The installer the blocks of read_payload are read from: one stream, positioned and read by one thread at a time.
struct PayloadFile {
    FILE* stream;
    OsMonitor* turn;
    bool owned;  // opened by read_payload_file, closed by free_payload
};

namespace {

// fread into the buffer until size bytes are in or the file gives no more.
bool fill_bytes(FILE* file, unsigned char* buffer, int32_t size) {
    int32_t remaining = size;
    while (remaining > 0) {
        size_t got = fread(buffer + (size - remaining), 1, size_t(remaining), file);
        if (got == 0) break;
        remaining -= int32_t(got);
    }
    return remaining <= 0;
}

ReadStatus status(ReadResult result, int32_t block = -1) { return ReadStatus{result, block}; }

}  // namespace

const char* read_result_text(ReadResult result) {
    switch (result) {
    case ReadResult::ok: return "ok";
    case ReadResult::cannot_open: return "cannot be opened or read";
    case ReadResult::too_small: return "too small to hold a payload (no directory and trailer at its end)";
    case ReadResult::too_large: return "2 GiB or larger, more than an installer's 32-bit offsets reach";
    case ReadResult::cut_short: return "cut short: the file ends inside the payload's directory and trailer";
    case ReadResult::trailer_out_of_range:
        return "the trailer's directory offset lies outside the file (no payload, or a damaged trailer)";
    case ReadResult::tail_too_long: return "the trailer's directory offset lies 1024 bytes or more before the end";
    case ReadResult::block_count_out_of_range:
        return "the directory's block count is 0, negative, or more than it holds";
    case ReadResult::first_block_out_of_range: return "the directory's first-block offset lies outside the file";
    case ReadResult::blocks_misplaced: return "the blocks do not end where the directory begins";
    case ReadResult::block_size_out_of_range:
        return "the directory gives a negative size or one that runs past the payload";
    case ReadResult::block_short: return "cannot be read whole (the file ends inside it)";
    case ReadResult::checksum_mismatch: return "checksum mismatch: its CRC-32 differs from the checksum table";
    case ReadResult::out_of_memory: return "not enough memory to load the payload";
    case ReadResult::manifest_out_of_range:
        return "the manifest's locator does not lead to the bytes right before block 0";
    case ReadResult::manifest_checksum: return "manifest checksum mismatch: its CRC-32 differs from its locator's";
    case ReadResult::manifest_damaged: return "the manifest is damaged (an entry cut short, an unsafe name, or no end)";
    }
    return "unknown reason";  // no ReadResult: every one is named above
}

unsigned char* alloc_block_buffer(size_t size) {
    // At least one byte: an empty block is not mistaken for a failure.
    return static_cast<unsigned char*>(os_alloc_large(size));
}

void free_payload(PayloadBlock** blocks, int32_t count) {
    if (!blocks) return;
    PayloadFile* file = count > 0 && blocks[0] ? blocks[0]->file : nullptr;
    for (int32_t i = 0; i < count; ++i) {
        if (!blocks[i]) continue;
        free(blocks[i]->data);
        free(blocks[i]);
    }
    free(blocks);
    if (file) {
        if (file->owned) fclose(file->stream);
        os_monitor_free(file->turn);
        free(file);
    }
}

bool read_block_bytes(const PayloadBlock* block, int32_t at, unsigned char* out, int32_t size) {
    if (at < 0 || size < 0 || int64_t(at) + size > block->size) return false;
    if (block->data) {
        memcpy(out, block->data + at, size_t(size));
        return true;
    }
    if (!block->file) return false;
    os_monitor_enter(block->file->turn);
    const bool ok = fseek(block->file->stream, long(block->offset) + at, SEEK_SET) == 0 &&
                    fill_bytes(block->file->stream, out, size);
    os_monitor_leave(block->file->turn);
    return ok;
}

namespace {

// Refuses blocks that would run past the payload's end before anything is allocated for them, so that a hostile
// directory cannot make the reader take more memory than the file holds. ReadResult::ok, or the size's reason and
// block.
ReadResult check_block_sizes(const PayloadTail* tail, int32_t* bad_block) {
    int64_t end = tail->first_block;
    for (int32_t i = 0; i < tail->count; ++i) {
        end += tail_block_size(tail, i);
        if (tail_block_size(tail, i) < 0 || end > tail->end) {
            *bad_block = i;
            return ReadResult::block_size_out_of_range;
        }
    }
    return ReadResult::ok;
}

// The tail's blocks as they lie in file, none loaded (caller releases with free_payload, which also releases the
// file). ReadResult::ok, or why not with nothing left allocated (the stream is not closed).
ReadResult locate_blocks(FILE* stream, bool owned, const PayloadTail* tail, PayloadBlock*** out, int32_t* bad_block) {
    *out = nullptr;
    *bad_block = -1;
    const ReadResult sizes = check_block_sizes(tail, bad_block);
    if (sizes != ReadResult::ok) return sizes;
    const int32_t n = tail->count;
    auto* file = static_cast<PayloadFile*>(malloc(sizeof(PayloadFile)));
    OsMonitor* turn = file ? os_monitor_new() : nullptr;
    PayloadBlock** blocks = turn ? static_cast<PayloadBlock**>(calloc(size_t(n), sizeof(PayloadBlock*))) : nullptr;
    if (!blocks) {
        if (turn) os_monitor_free(turn);
        free(file);
        return ReadResult::out_of_memory;
    }
    *file = PayloadFile{stream, turn, false};
    int32_t offset = tail->first_block;
    for (int32_t i = 0; i < n; ++i) {
        blocks[i] = static_cast<PayloadBlock*>(malloc(sizeof(PayloadBlock)));
        if (!blocks[i]) {
            free_payload(blocks, i);  // releases file too, stream left open
            return ReadResult::out_of_memory;
        }
        *blocks[i] = PayloadBlock{nullptr, tail_block_size(tail, i), file, offset};
        offset += tail_block_size(tail, i);
    }
    file->owned = owned;
    *out = blocks;
    return ReadResult::ok;
}

// The checksum check's reads: a buffer that stays in the processor's cache and takes a few pages, since the check
// runs alone before any block is decoded (a step of DECODE_STEP bytes spent more on first touching its pages than
// on the reads it spared).
constexpr int32_t CHECK_STEP = 64 << 10;

// The first block, read from the file in steps, that cannot be read whole (*result ReadResult::block_short) or whose
// CRC-32 differs from the table (ReadResult::checksum_mismatch); -1 with ReadResult::ok when every block matches.
int32_t first_bad_checksum_read(const PayloadTail* tail, PayloadBlock* const* blocks, ReadResult* result) {
    *result = ReadResult::ok;
    unsigned char* buffer = static_cast<unsigned char*>(malloc(CHECK_STEP));
    if (!buffer) {
        *result = ReadResult::out_of_memory;
        return -1;
    }
    int32_t bad = -1;
    for (int32_t i = 0; i < tail->count && bad < 0; ++i) {
        uint32_t crc = block_checksum_start();
        for (int32_t at = 0; at < blocks[i]->size;) {
            const int32_t step = blocks[i]->size - at < CHECK_STEP ? blocks[i]->size - at : CHECK_STEP;
            if (!read_block_bytes(blocks[i], at, buffer, step)) {
                *result = ReadResult::block_short;
                bad = i;
                break;
            }
            crc = block_checksum_add(crc, buffer, step);
            at += step;
        }
        if (bad < 0 && crc != tail_checksum(tail, i)) {
            *result = ReadResult::checksum_mismatch;
            bad = i;
        }
    }
    free(buffer);
    return bad;
}

// The installer's reader over an open stream: tail, manifest, the blocks where they lie, the checksums read once.
ReadStatus open_payload_in_place(FILE* stream, bool owned, PayloadTail* tail, PayloadBlock*** blocks,
                                 Manifest* manifest) {
    *blocks = nullptr;
    Manifest read{};
    if (manifest) *manifest = read;
    const ReadResult found = find_payload_tail(stream, tail);
    if (found != ReadResult::ok) return status(found);
    const ReadResult listed = read_manifest(stream, tail, &read);
    if (listed != ReadResult::ok) return status(listed);
    int32_t bad = -1;
    const ReadResult located = locate_blocks(stream, owned, tail, blocks, &bad);
    if (located != ReadResult::ok) {
        free_manifest(&read);
        return status(located, bad);
    }
    if (tail_has_checksums(tail)) {
        ReadResult result = ReadResult::ok;
        bad = first_bad_checksum_read(tail, *blocks, &result);
        if (result != ReadResult::ok) {
            // Not the caller's to close on failure: a stream that read_payload_file opened stays open here.
            (*blocks)[0]->file->owned = false;
            free_payload(*blocks, tail->count);
            *blocks = nullptr;
            free_manifest(&read);
            return status(result, bad);
        }
    }
    if (manifest) *manifest = read;
    else free_manifest(&read);
    return status(ReadResult::ok);
}

}  // namespace

ReadStatus open_payload(FILE* file, PayloadTail* tail, PayloadBlock*** blocks, Manifest* manifest) {
    return open_payload_in_place(file, false, tail, blocks, manifest);
}

namespace {

PayloadBlock** read_payload_open(FILE* file, bool owned, int32_t* count, uint32_t* total_unpacked, int* flags,
                                 ReadStatus* why, Manifest* manifest) {
    PayloadTail tail;
    PayloadBlock** blocks = nullptr;
    const ReadStatus found = open_payload_in_place(file, owned, &tail, &blocks, manifest);
    if (why) *why = found;
    if (found.result != ReadResult::ok) return nullptr;
    *count = tail.count;
    *total_unpacked = tail.total_unpacked;
    // Bit 7 says, from here on, that a table was there and vouched for every block.
    *flags = tail_has_checksums(&tail) ? tail.flags : tail.flags & ~PAYLOAD_FLAG_CHECKSUMS;
    return blocks;
}

}  // namespace

PayloadBlock** read_payload_stream(FILE* file, int32_t* count, uint32_t* total_unpacked, int* flags, ReadStatus* why,
                                   Manifest* manifest) {
    return read_payload_open(file, false, count, total_unpacked, flags, why, manifest);
}

PayloadBlock** read_payload_file(const char* path, int32_t* count, uint32_t* total_unpacked, int* flags,
                                 ReadStatus* why, Manifest* manifest) {
    // Held against writers from here, before the checksums are read, to the last block's use.
    FILE* file = os_open_file_held(path);
    if (!file) {
        if (why) *why = status(ReadResult::cannot_open);
        return nullptr;
    }
    PayloadBlock** blocks = read_payload_open(file, true, count, total_unpacked, flags, why, manifest);
    if (!blocks) fclose(file);
    return blocks;
}

PayloadBlock** read_payload(int32_t* count, uint32_t* total_unpacked, int* flags, Manifest* manifest) {
    char path[1024];
    memset(path, 0, sizeof path);
    if (!os_self_path(path, sizeof path)) return nullptr;
    return read_payload_file(path, count, total_unpacked, flags, nullptr, manifest);
}
