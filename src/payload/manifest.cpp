// Reads and walks the manifest that lists the installation before its blocks.
#include "payload/manifest.h"

#include <cstdlib>

#include "payload/checksum.h"
#include "payload/payload.h"
#include "payload/records.h"

void start_manifest(ManifestCursor* cursor, const Manifest& manifest) {
    cursor->bytes = manifest.bytes;
    cursor->length = manifest.length;
    cursor->pos = 0;
}

WalkResult next_manifest_entry(ManifestCursor* cursor, ManifestEntry* entry) {
    // 64-bit offsets, as the record walk has them.
    const int64_t end = cursor->length;
    int64_t pos = cursor->pos;
    if (!cursor->bytes || pos >= end) return WalkResult::truncated;
    const unsigned char* s = cursor->bytes;

    entry->type = s[pos++];
    entry->name = nullptr;
    entry->name_len = 0;
    entry->size = 0;
    if (entry->type != RECORD_DIR && entry->type != RECORD_FILE) {
        cursor->pos = int32_t(pos);
        return WalkResult::end;
    }
    const WalkResult named = read_record_name(s, end, &pos, &entry->name, &entry->name_len);
    if (named != WalkResult::record) return named;
    if (entry->type == RECORD_FILE) {
        if (pos + RECORD_DATA_LENGTH_SIZE > end) return WalkResult::truncated;
        entry->size = read_be32(s + pos);
        pos += RECORD_DATA_LENGTH_SIZE;
    }
    cursor->pos = int32_t(pos);
    return WalkResult::record;
}

ReadResult check_manifest(const unsigned char* bytes, int32_t length) {
    ManifestCursor cursor{bytes, length, 0};
    ManifestEntry entry;
    WalkResult result;
    while ((result = next_manifest_entry(&cursor, &entry)) == WalkResult::record) {
    }
    return result == WalkResult::end && entry.type == RECORD_END && cursor.pos == length ? ReadResult::ok
                                                                                         : ReadResult::manifest_damaged;
}

ReadResult read_manifest(FILE* file, const PayloadTail* tail, Manifest* manifest) {
    manifest->bytes = nullptr;
    manifest->length = 0;
    if (!tail_has_manifest(tail)) return ReadResult::ok;
    const int32_t offset = tail_manifest_offset(tail);
    const int32_t length = tail_manifest_length(tail);
    if (offset <= 0 || length <= 0 || length > MANIFEST_LENGTH_LIMIT || int64_t(offset) + length != tail->first_block)
        return ReadResult::manifest_out_of_range;
    if (fseek(file, offset, SEEK_SET) != 0) return ReadResult::cannot_open;
    unsigned char* bytes = static_cast<unsigned char*>(malloc(size_t(length)));
    if (!bytes) return ReadResult::out_of_memory;
    ReadResult result =
        fread(bytes, 1, size_t(length), file) == size_t(length) ? ReadResult::ok : ReadResult::cannot_open;
    if (result == ReadResult::ok && block_checksum(bytes, length) != tail_manifest_checksum(tail))
        result = ReadResult::manifest_checksum;
    if (result == ReadResult::ok) result = check_manifest(bytes, length);
    if (result != ReadResult::ok) {
        free(bytes);
        return result;
    }
    manifest->bytes = bytes;
    manifest->length = length;
    return ReadResult::ok;
}

void free_manifest(Manifest* manifest) {
    if (!manifest) return;
    free(manifest->bytes);
    manifest->bytes = nullptr;
    manifest->length = 0;
}
