// Reads the payload's trailer, directory and blocks out of an installer file.
#include <cstdlib>
#include <cstring>

#include "payload/os.h"
#include "payload/payload.h"
#include "payload/tail.h"

unsigned char* alloc_block_buffer(size_t size) {
    // malloc(0) may give null; one spare byte keeps an empty block distinct from a failure.
    void* buffer = malloc(size > 0 ? size : 1);
    if (buffer) os_prefer_large_pages(buffer, size);
    return static_cast<unsigned char*>(buffer);
}

unsigned char* read_bytes(FILE* file, int32_t size) {
    unsigned char* buffer = alloc_block_buffer(size > 0 ? size_t(size) : 0);
    if (!buffer) return nullptr;
    int32_t remaining = size;
    while (remaining > 0) {
        size_t got = fread(buffer + (size - remaining), 1, size_t(remaining), file);
        if (got == 0) break;
        remaining -= int32_t(got);
    }
    if (remaining > 0) {
        free(buffer);
        return nullptr;
    }
    return buffer;
}

void free_payload(PayloadBlock** blocks, int32_t count) {
    if (!blocks) return;
    for (int32_t i = 0; i < count; ++i) {
        if (!blocks[i]) continue;
        free(blocks[i]->data);
        free(blocks[i]);
    }
    free(blocks);
}

PayloadBlock** load_blocks(FILE* file, const PayloadTail* tail) {
    const int32_t n = tail->count;
    // Blocks that would run past the payload's end are refused before anything is allocated for them,
    // so a hostile directory cannot make the reader take more memory than the file holds.
    int64_t end = tail->first_block;
    for (int32_t i = 0; i < n; ++i) {
        if (tail_block_size(tail, i) < 0) return nullptr;
        end += tail_block_size(tail, i);
    }
    if (end > tail->end) return nullptr;
    PayloadBlock** blocks = static_cast<PayloadBlock**>(calloc(size_t(n), sizeof(PayloadBlock*)));
    if (!blocks) return nullptr;
    if (fseek(file, tail->first_block, SEEK_SET) != 0) {
        free(blocks);
        return nullptr;
    }
    // No seek between blocks: block i + 1 is read from where block i ended.
    for (int32_t i = 0; i < n; ++i) {
        PayloadBlock* block = static_cast<PayloadBlock*>(malloc(sizeof(PayloadBlock)));
        if (!block) {
            free_payload(blocks, i);
            return nullptr;
        }
        block->size = tail_block_size(tail, i);
        block->data = read_bytes(file, block->size);
        blocks[i] = block;
        if (!block->data) {
            free_payload(blocks, i + 1);
            return nullptr;
        }
    }
    return blocks;
}

PayloadBlock** read_payload_stream(FILE* file, int32_t* count, uint32_t* total_unpacked, int* flags) {
    PayloadTail tail;
    if (!find_payload_tail(file, &tail)) return nullptr;
    if (tail_has_checksums(&tail) && !checksum_table_fits(&tail)) return nullptr;
    PayloadBlock** blocks = load_blocks(file, &tail);
    if (!blocks) return nullptr;
    // Checked after loading, before anything is decoded or written.
    if (tail_has_checksums(&tail) && first_bad_checksum(&tail, blocks) >= 0) {
        free_payload(blocks, tail.count);
        return nullptr;
    }
    *count = tail.count;
    *total_unpacked = tail.total_unpacked;
    *flags = tail.flags;
    return blocks;
}

PayloadBlock** read_payload_file(const char* path, int32_t* count, uint32_t* total_unpacked, int* flags) {
    FILE* file = fopen(path, "rb");
    if (!file) return nullptr;
    PayloadBlock** blocks = read_payload_stream(file, count, total_unpacked, flags);
    fclose(file);
    return blocks;
}
PayloadBlock** read_payload(int32_t* count, uint32_t* total_unpacked, int* flags) {
    char path[1024];
    memset(path, 0, sizeof path);
    if (!os_self_path(path, sizeof path)) return nullptr;
    return read_payload_file(path, count, total_unpacked, flags);
}
