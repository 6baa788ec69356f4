// Reads the payload's trailer, directory and blocks out of an installer file.
#include <cstdlib>
#include <cstring>

#include "payload/os.h"
#include "payload/payload.h"

unsigned char* read_bytes(FILE* file, int32_t size) {
    // malloc(0) may give null; one spare byte keeps an empty block distinct from a failure.
    unsigned char* buffer = static_cast<unsigned char*>(malloc(size > 0 ? size_t(size) : 1));
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

namespace {

PayloadBlock** fail(FILE* file, PayloadBlock** blocks, int32_t loaded) {
    free_payload(blocks, loaded);
    fclose(file);
    return nullptr;
}

}  // namespace

PayloadBlock** read_payload_file(const char* path, int32_t* count, uint32_t* total_unpacked, int* flags) {
    FILE* file = fopen(path, "rb");
    if (!file) return nullptr;

    // The file size is a 32-bit position: an installer is smaller than 2 GiB.
    if (fseek(file, 0, SEEK_END) != 0) return fail(file, nullptr, 0);
    long end = ftell(file);
    if (end <= 0 || end > INT32_MAX) return fail(file, nullptr, 0);
    const int32_t file_size = int32_t(end);
    if (file_size < PAYLOAD_TRAILER_SIZE) return fail(file, nullptr, 0);

    unsigned char tail[PAYLOAD_TAIL_LIMIT];
    memset(tail, 0, sizeof tail);
    if (fseek(file, file_size - PAYLOAD_TRAILER_SIZE, SEEK_SET) != 0 ||
        fread(tail, 1, PAYLOAD_TRAILER_SIZE, file) != size_t(PAYLOAD_TRAILER_SIZE))
        return fail(file, nullptr, 0);
    const int32_t dir_offset = int32_t(read_be32(tail));
    const uint32_t total = read_be32(tail + 4);
    const int option_flags = tail[8];
    if (dir_offset < 0 || dir_offset > file_size - 12 || file_size - dir_offset >= PAYLOAD_TAIL_LIMIT)
        return fail(file, nullptr, 0);

    // Directory and trailer together, in one small read.
    const int32_t tail_size = file_size - dir_offset;
    if (fseek(file, dir_offset, SEEK_SET) != 0 || fread(tail, 1, size_t(tail_size), file) != size_t(tail_size))
        return fail(file, nullptr, 0);
    const int32_t first_block = int32_t(read_be32(tail));
    const int32_t n = int32_t(read_be32(tail + 4));
    if (n <= 0 || first_block <= 0 || first_block >= file_size) return fail(file, nullptr, 0);
    // The size entries must lie inside the directory, before the trailer.
    if (n > (tail_size - PAYLOAD_TRAILER_SIZE - 8) / 4) return fail(file, nullptr, 0);

    PayloadBlock** blocks = static_cast<PayloadBlock**>(calloc(size_t(n), sizeof(PayloadBlock*)));
    if (!blocks || fseek(file, first_block, SEEK_SET) != 0) return fail(file, blocks, 0);
    for (int32_t i = 0; i < n; ++i) {
        PayloadBlock* block = static_cast<PayloadBlock*>(malloc(sizeof(PayloadBlock)));
        if (!block) return fail(file, blocks, i);
        block->size = int32_t(read_be32(tail + 8 + 4 * i));
        block->data = block->size < 0 ? nullptr : read_bytes(file, block->size);
        blocks[i] = block;
        if (!block->data) return fail(file, blocks, i + 1);
    }
    fclose(file);
    *count = n;
    *total_unpacked = total;
    *flags = option_flags;
    return blocks;
}

PayloadBlock** read_payload(int32_t* count, uint32_t* total_unpacked, int* flags) {
    char path[1024];
    memset(path, 0, sizeof path);
    if (!os_self_path(path, sizeof path)) return nullptr;
    return read_payload_file(path, count, total_unpacked, flags);
}
