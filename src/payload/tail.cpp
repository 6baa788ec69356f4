// Locates the directory and trailer at the end of an installer, or before the certificate table of a signed one.
#include "payload/tail.h"

#include <cstring>

#include "payload/pe_cert.h"

namespace {

// The directory offset lies at least this far before the payload's end: the reader's bound, which leaves
// room for the first-block offset and the trailer.
constexpr int32_t MIN_TAIL_SIZE = 12;

// Reads and checks the trailer ending at end, and the directory it names.
ReadResult read_tail_at(FILE* file, int32_t end, PayloadTail* tail) {
    if (end < MIN_TAIL_SIZE) return ReadResult::too_small;
    unsigned char trailer[PAYLOAD_TRAILER_SIZE];
    if (fseek(file, end - PAYLOAD_TRAILER_SIZE, SEEK_SET) != 0 ||
        fread(trailer, 1, sizeof trailer, file) != sizeof trailer)
        return ReadResult::cannot_open;
    const int32_t dir_offset = int32_t(read_be32(trailer));
    if (dir_offset < 0 || dir_offset > end - MIN_TAIL_SIZE) return ReadResult::trailer_out_of_range;
    if (end - dir_offset >= PAYLOAD_TAIL_LIMIT) return ReadResult::tail_too_long;

    // Directory and trailer together, in one small read.
    tail->end = end;
    tail->dir_offset = dir_offset;
    tail->size = end - dir_offset;
    tail->total_unpacked = read_be32(trailer + 4);
    tail->flags = trailer[8];
    if (fseek(file, dir_offset, SEEK_SET) != 0 || fread(tail->bytes, 1, size_t(tail->size), file) != size_t(tail->size))
        return ReadResult::cannot_open;
    tail->first_block = int32_t(read_be32(tail->bytes));
    tail->count = int32_t(read_be32(tail->bytes + 4));
    // The size entries must lie inside the directory, before the trailer.
    const int32_t room = (tail->size - PAYLOAD_TRAILER_SIZE - DIRECTORY_HEADER_SIZE) / DIRECTORY_ENTRY_SIZE;
    if (tail->count <= 0 || tail->count > room) return ReadResult::block_count_out_of_range;
    if (tail->first_block <= 0 || tail->first_block >= end) return ReadResult::first_block_out_of_range;
    return ReadResult::ok;
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

// What the PE headers in the file's first bytes say of a signature, for a file of file_size bytes.
enum Signature { NOT_SIGNED, SIGNED, SIGNATURE_REMOVED };

// SIGNED with the table's offset in *table when a certificate table ends the file; SIGNATURE_REMOVED when the
// image's security entry is empty, as signing tools leave it when they remove a signature (and as an image
// never signed has it); NOT_SIGNED for anything else, a file that is no PE image among it.
Signature signature_of(FILE* file, int32_t file_size, int32_t* table) {
    unsigned char head[PE_HEAD_LIMIT];
    const size_t head_len = file_size < int32_t(sizeof head) ? size_t(file_size) : sizeof head;
    uint32_t offset = 0;
    if (fseek(file, 0, SEEK_SET) != 0 || fread(head, 1, head_len, file) != head_len) return NOT_SIGNED;
    if (pe_certificate_table(head, head_len, uint32_t(file_size), &offset)) {
        *table = int32_t(offset);
        return SIGNED;
    }
    return pe_without_certificates(head, head_len) ? SIGNATURE_REMOVED : NOT_SIGNED;
}

// Tries each padding of first_pad to MAX_CERT_PADDING zero bytes before end, fewest first; the reason of
// the place that got furthest otherwise.
ReadResult find_before_padding(FILE* file, int32_t end, int32_t first_pad, PayloadTail* tail) {
    unsigned char padding[MAX_CERT_PADDING];
    const int32_t room = end < MAX_CERT_PADDING ? end : MAX_CERT_PADDING;
    if (fseek(file, end - room, SEEK_SET) != 0 || fread(padding, 1, size_t(room), file) != size_t(room))
        return ReadResult::cannot_open;
    ReadResult closest = ReadResult::cannot_open;
    for (int32_t pad = first_pad; pad <= room; ++pad) {
        if (pad > 0 && padding[room - pad] != 0) break;  // padding is zeros, and only zeros
        memset(tail, 0, sizeof *tail);
        ReadResult result = read_tail_at(file, end - pad, tail);
        if (result == ReadResult::ok && !blocks_reach_directory(tail)) result = ReadResult::blocks_misplaced;
        if (result == ReadResult::ok) return ReadResult::ok;
        if (result > closest) closest = result;
    }
    return closest;
}

// A file cut short keeps its directory, whose blocks reach it exactly, but not all of the directory's tail:
// the bytes from it to the end are fewer than the tail needs with a checksum table, and not the number it
// needs without one. Looked for only when the trailer at the end failed.
bool ends_inside_tail(FILE* file, int32_t end) {
    unsigned char window[PAYLOAD_TAIL_LIMIT];
    const int32_t len = end < PAYLOAD_TAIL_LIMIT ? end : PAYLOAD_TAIL_LIMIT;
    const int32_t base = end - len;
    if (fseek(file, base, SEEK_SET) != 0 || fread(window, 1, size_t(len), file) != size_t(len)) return false;
    for (int32_t at = len - DIRECTORY_HEADER_SIZE; at >= 0; --at) {
        const int64_t dir = int64_t(base) + at;
        const int64_t first = read_be32(window + at);
        const int64_t count = read_be32(window + at + 4);
        const int64_t entries_end = at + DIRECTORY_HEADER_SIZE + int64_t(DIRECTORY_ENTRY_SIZE) * count;
        if (count <= 0 || first <= 0 || first >= dir || entries_end > len) continue;
        int64_t reach = first;
        for (int64_t i = 0; i < count; ++i)
            reach += read_be32(window + at + DIRECTORY_HEADER_SIZE + DIRECTORY_ENTRY_SIZE * i);
        if (reach != dir) continue;
        const int64_t plain = DIRECTORY_HEADER_SIZE + DIRECTORY_ENTRY_SIZE * count + PAYLOAD_TRAILER_SIZE;
        const int64_t with_table = plain + CHECKSUM_ENTRY_SIZE * count;
        return end - dir < with_table && end - dir != plain;
    }
    return false;
}

}  // namespace

int32_t tail_block_size(const PayloadTail* tail, int32_t i) {
    return int32_t(read_be32(tail->bytes + DIRECTORY_HEADER_SIZE + DIRECTORY_ENTRY_SIZE * i));
}

bool tail_has_checksums(const PayloadTail* tail) {
    if (!(tail->flags & PAYLOAD_FLAG_CHECKSUMS)) return false;
    const int64_t entries = int64_t(DIRECTORY_ENTRY_SIZE + CHECKSUM_ENTRY_SIZE) * tail->count;
    return DIRECTORY_HEADER_SIZE + entries <= int64_t(tail->size) - PAYLOAD_TRAILER_SIZE;
}

bool tail_has_manifest(const PayloadTail* tail) {
    if (!(tail->flags & PAYLOAD_FLAG_MANIFEST)) return false;
    const int64_t table = tail_has_checksums(tail) ? int64_t(CHECKSUM_ENTRY_SIZE) * tail->count : 0;
    const int64_t used = DIRECTORY_HEADER_SIZE + int64_t(DIRECTORY_ENTRY_SIZE) * tail->count + table;
    return used + MANIFEST_LOCATOR_SIZE <= int64_t(tail->size) - PAYLOAD_TRAILER_SIZE;
}

namespace {

// The locator's field at index 0, 1 or 2, counted from the locator's start right before the trailer.
uint32_t locator_field(const PayloadTail* tail, int index) {
    return read_be32(tail->bytes + tail->size - PAYLOAD_TRAILER_SIZE - MANIFEST_LOCATOR_SIZE + 4 * index);
}

}  // namespace

int32_t tail_manifest_offset(const PayloadTail* tail) { return int32_t(locator_field(tail, 0)); }
int32_t tail_manifest_length(const PayloadTail* tail) { return int32_t(locator_field(tail, 1)); }
uint32_t tail_manifest_checksum(const PayloadTail* tail) { return locator_field(tail, 2); }

int32_t tail_checksum_offset(const PayloadTail* tail) {
    return tail->dir_offset + DIRECTORY_HEADER_SIZE + DIRECTORY_ENTRY_SIZE * tail->count;
}

uint32_t tail_checksum(const PayloadTail* tail, int32_t i) {
    return read_be32(tail->bytes + (tail_checksum_offset(tail) - tail->dir_offset) + CHECKSUM_ENTRY_SIZE * i);
}

ReadResult find_payload_tail(FILE* file, PayloadTail* tail) {
    // The file size is a 32-bit position: an installer is smaller than 2 GiB.
    if (fseek(file, 0, SEEK_END) != 0) return ReadResult::cannot_open;
    const long end = ftell(file);
    if (end < 0) return ReadResult::cannot_open;
    if (end > INT32_MAX) return ReadResult::too_large;
    memset(tail, 0, sizeof *tail);
    const ReadResult plain = read_tail_at(file, int32_t(end), tail);
    if (plain == ReadResult::ok) return ReadResult::ok;
    int32_t table = 0;
    const Signature signature = signature_of(file, int32_t(end), &table);
    if (signature == SIGNED) {
        // A signed file's last bytes are its certificates: what they failed says nothing.
        const ReadResult result = find_before_padding(file, table, 0, tail);
        if (result != ReadResult::ok) memset(tail, 0, sizeof *tail);
        return result;
    }
    // A removed signature leaves the padding that aligned its table; the trailer at the end was tried already.
    if (signature == SIGNATURE_REMOVED && find_before_padding(file, int32_t(end), 1, tail) == ReadResult::ok)
        return ReadResult::ok;
    memset(tail, 0, sizeof *tail);
    return plain != ReadResult::too_small && ends_inside_tail(file, int32_t(end)) ? ReadResult::cut_short : plain;
}
