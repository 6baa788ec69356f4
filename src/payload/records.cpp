// The bounded record parser shared by extraction and the vendor tool's checks.
#include "payload/records.h"

#include "payload/names.h"

void start_records(RecordCursor* cursor, const unsigned char* stream, int32_t length) {
    cursor->stream = stream;
    cursor->length = length;
    cursor->pos = 0;
}

WalkResult read_record_name(const unsigned char* bytes, int64_t end, int64_t* pos, const unsigned char** name,
                            size_t* name_len) {
    if (*pos + RECORD_NAME_LENGTH_SIZE > end) return WalkResult::truncated;
    *name_len = read_be16(bytes + *pos);
    *pos += RECORD_NAME_LENGTH_SIZE;
    if (*pos + int64_t(*name_len) > end) return WalkResult::truncated;
    *name = bytes + *pos;
    *pos += int64_t(*name_len);
    return payload_name_is_safe(*name, *name_len) ? WalkResult::record : WalkResult::unsafe_name;
}

WalkResult read_record_head(const unsigned char* s, int64_t available, int64_t remaining, Record* record,
                            int32_t* size) {
    // 64-bit offsets: a length field near 4 GiB must not wrap the bounds tests.
    *size = RECORD_TYPE_SIZE;
    if (available < RECORD_TYPE_SIZE) return remaining < RECORD_TYPE_SIZE ? WalkResult::truncated : WalkResult::more;
    record->type = s[0];
    record->name = nullptr;
    record->name_len = 0;
    record->data = nullptr;
    record->data_len = 0;
    record->whole_size = 0;
    record->piece_offset = 0;
    if (record->type != RECORD_DIR && record->type != RECORD_FILE && record->type != RECORD_PIECE)
        return WalkResult::end;

    int64_t need = RECORD_TYPE_SIZE + RECORD_NAME_LENGTH_SIZE;
    if (need > remaining) return WalkResult::truncated;
    *size = int32_t(need);
    if (need > available) return WalkResult::more;
    record->name_len = read_be16(s + RECORD_TYPE_SIZE);
    const int64_t fields = record->type == RECORD_FILE    ? RECORD_DATA_LENGTH_SIZE
                           : record->type == RECORD_PIECE ? RECORD_PIECE_FIELDS_SIZE
                                                          : 0;
    need += int64_t(record->name_len) + fields;
    // The name is checked before the fields after it are asked for, so that a walk of a whole stream says "unsafe"
    // for a bad name even where the stream ends right after it.
    const int64_t named = need - fields;
    if (named > remaining) return WalkResult::truncated;
    *size = int32_t(named);
    if (named > available) return WalkResult::more;
    record->name = s + RECORD_TYPE_SIZE + RECORD_NAME_LENGTH_SIZE;
    if (!payload_name_is_safe(record->name, record->name_len)) return WalkResult::unsafe_name;
    if (need > remaining) return WalkResult::truncated;
    *size = int32_t(need);
    if (need > available) return WalkResult::more;
    if (record->type == RECORD_DIR) return WalkResult::record;

    const unsigned char* f = s + named;
    int64_t data_len;
    if (record->type == RECORD_FILE) {
        data_len = read_be32(f);
    } else {
        record->whole_size = read_be32(f);
        record->piece_offset = read_be32(f + 4);
        data_len = read_be32(f + 8);
        if (int64_t(record->piece_offset) + data_len > int64_t(record->whole_size)) return WalkResult::bad_piece;
    }
    if (need + data_len > remaining) return WalkResult::truncated;
    record->data = s + need;
    record->data_len = int32_t(data_len);
    return WalkResult::record;
}

WalkResult next_record(RecordCursor* cursor, Record* record) {
    if (!cursor->stream || cursor->pos >= cursor->length) return WalkResult::truncated;
    const int64_t remaining = int64_t(cursor->length) - cursor->pos;
    int32_t size = 0;
    const WalkResult result = read_record_head(cursor->stream + cursor->pos, remaining, remaining, record, &size);
    if (result == WalkResult::end) cursor->pos += size;
    if (result == WalkResult::record) cursor->pos += size + record->data_len;
    return result;
}

const char* walk_result_text(WalkResult result) {
    switch (result) {
    case WalkResult::record: return "record";
    case WalkResult::end: return "end of stream";
    case WalkResult::truncated: return "record stream cut short (a record runs past the end, or no end record)";
    case WalkResult::unsafe_name: return "unsafe name (would write outside the install directory)";
    case WalkResult::bad_piece:
        return "a piece of a file spanning blocks out of order (past its file's size, no file begun, another name, "
               "a gap, or another size)";
    case WalkResult::unfinished: return "a file spanning blocks without its last piece";
    case WalkResult::more: break;  // read_record_head's alone: no walk ends with it
    }
    return "unknown result";
}
