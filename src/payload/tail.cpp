// Locates the directory and trailer at the end of an installer, or before the certificate table of a signed one.
#include "payload/tail.h"

#include <cstring>

#include "payload/pe_cert.h"

namespace {

// Alignment padding Authenticode puts between the image's end and its certificate table.
constexpr int32_t MAX_CERT_PADDING = 7;
// The directory offset lies at least this far before the payload's end (first-block offset, count, trailer).
constexpr int32_t MIN_TAIL_SIZE = 12;

// Reads and checks the trailer ending at end, and the directory it names.
bool read_tail_at(FILE* file, int32_t end, PayloadTail* tail) {
    if (end < PAYLOAD_TRAILER_SIZE) return false;
    unsigned char trailer[PAYLOAD_TRAILER_SIZE];
    if (fseek(file, end - PAYLOAD_TRAILER_SIZE, SEEK_SET) != 0 ||
        fread(trailer, 1, sizeof trailer, file) != sizeof trailer)
        return false;
    const int32_t dir_offset = int32_t(read_be32(trailer));
    if (dir_offset < 0 || dir_offset > end - MIN_TAIL_SIZE || end - dir_offset >= PAYLOAD_TAIL_LIMIT) return false;

    // Directory and trailer together, in one small read.
    tail->end = end;
    tail->dir_offset = dir_offset;
    tail->size = end - dir_offset;
    tail->total_unpacked = read_be32(trailer + 4);
    tail->flags = trailer[8];
    if (fseek(file, dir_offset, SEEK_SET) != 0 || fread(tail->bytes, 1, size_t(tail->size), file) != size_t(tail->size))
        return false;
    tail->first_block = int32_t(read_be32(tail->bytes));
    tail->count = int32_t(read_be32(tail->bytes + 4));
    if (tail->count <= 0 || tail->first_block <= 0 || tail->first_block >= end) return false;
    // The size entries must lie inside the directory, before the trailer.
    return tail->count <= (tail->size - PAYLOAD_TRAILER_SIZE - 8) / 4;
}

bool blocks_reach_directory(const PayloadTail* tail) {
    int64_t at = tail->first_block;
    for (int32_t i = 0; i < tail->count; ++i) {
        const int32_t size = tail_block_size(tail, i);
        if (size < 0) return false;
        at += size;
    }
    return at == tail->dir_offset;
}

// A signed image: the trailer sits before the certificate table that ends the file.
bool find_before_certificates(FILE* file, int32_t file_size, PayloadTail* tail) {
    unsigned char head[PE_HEAD_LIMIT];
    const size_t head_len = file_size < int32_t(sizeof head) ? size_t(file_size) : sizeof head;
    uint32_t table = 0;
    if (fseek(file, 0, SEEK_SET) != 0 || fread(head, 1, head_len, file) != head_len ||
        !pe_certificate_table(head, head_len, uint32_t(file_size), &table))
        return false;
    unsigned char padding[MAX_CERT_PADDING];
    const int32_t room = int32_t(table) < MAX_CERT_PADDING ? int32_t(table) : MAX_CERT_PADDING;
    if (fseek(file, int32_t(table) - room, SEEK_SET) != 0 || fread(padding, 1, size_t(room), file) != size_t(room))
        return false;
    for (int32_t pad = 0; pad <= room; ++pad) {
        if (pad > 0 && padding[room - pad] != 0) return false;  // padding is zeros, and only zeros
        if (read_tail_at(file, int32_t(table) - pad, tail) && blocks_reach_directory(tail)) return true;
    }
    return false;
}

}  // namespace

int32_t tail_block_size(const PayloadTail* tail, int32_t i) { return int32_t(read_be32(tail->bytes + 8 + 4 * i)); }

bool tail_has_checksums(const PayloadTail* tail) { return (tail->flags & PAYLOAD_FLAG_CHECKSUMS) != 0; }

bool checksum_table_fits(const PayloadTail* tail) {
    return int64_t(8) + 8 * int64_t(tail->count) <= int64_t(tail->size) - PAYLOAD_TRAILER_SIZE;
}

uint32_t tail_checksum(const PayloadTail* tail, int32_t i) {
    return read_be32(tail->bytes + 8 + 4 * tail->count + 4 * i);
}

bool find_payload_tail(FILE* file, PayloadTail* tail) {
    // The file size is a 32-bit position: an installer is smaller than 2 GiB.
    if (fseek(file, 0, SEEK_END) != 0) return false;
    const long end = ftell(file);
    if (end <= 0 || end > INT32_MAX) return false;
    memset(tail, 0, sizeof *tail);
    if (read_tail_at(file, int32_t(end), tail)) return true;
    memset(tail, 0, sizeof *tail);
    return find_before_certificates(file, int32_t(end), tail);
}
