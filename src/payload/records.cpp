// The bounded record parser shared by extraction and the vendor tool's checks.
#include "payload/records.h"

#include "payload/names.h"

void start_records(RecordCursor* cursor, const unsigned char* stream, int32_t length) {
    cursor->stream = stream;
    cursor->length = length;
    cursor->pos = 0;
}

int read_record_name(const unsigned char* bytes, int64_t end, int64_t* pos, const unsigned char** name,
                     size_t* name_len) {
    if (*pos + RECORD_NAME_LENGTH_SIZE > end) return WALK_TRUNCATED;
    *name_len = read_be16(bytes + *pos);
    *pos += RECORD_NAME_LENGTH_SIZE;
    if (*pos + int64_t(*name_len) > end) return WALK_TRUNCATED;
    *name = bytes + *pos;
    *pos += int64_t(*name_len);
    return payload_name_is_safe(*name, *name_len) ? WALK_RECORD : WALK_UNSAFE_NAME;
}

int read_record_head(const unsigned char* s, int64_t available, int64_t remaining, Record* record, int32_t* size) {
    // 64-bit offsets: a length field near 4 GiB must not wrap the bounds tests.
    *size = RECORD_TYPE_SIZE;
    if (available < RECORD_TYPE_SIZE) return remaining < RECORD_TYPE_SIZE ? WALK_TRUNCATED : WALK_MORE;
    record->type = s[0];
    record->name = nullptr;
    record->name_len = 0;
    record->data = nullptr;
    record->data_len = 0;
    record->whole_size = 0;
    record->piece_offset = 0;
    if (record->type != RECORD_DIR && record->type != RECORD_FILE && record->type != RECORD_PIECE) return WALK_END;

    int64_t need = RECORD_TYPE_SIZE + RECORD_NAME_LENGTH_SIZE;
    if (need > remaining) return WALK_TRUNCATED;
    *size = int32_t(need);
    if (need > available) return WALK_MORE;
    record->name_len = read_be16(s + RECORD_TYPE_SIZE);
    const int64_t fields = record->type == RECORD_FILE    ? RECORD_DATA_LENGTH_SIZE
                           : record->type == RECORD_PIECE ? RECORD_PIECE_FIELDS_SIZE
                                                          : 0;
    need += int64_t(record->name_len) + fields;
    // The name is checked before the fields after it are asked for, so that a walk of a whole stream says "unsafe"
    // for a bad name even where the stream ends right after it.
    const int64_t named = need - fields;
    if (named > remaining) return WALK_TRUNCATED;
    *size = int32_t(named);
    if (named > available) return WALK_MORE;
    record->name = s + RECORD_TYPE_SIZE + RECORD_NAME_LENGTH_SIZE;
    if (!payload_name_is_safe(record->name, record->name_len)) return WALK_UNSAFE_NAME;
    if (need > remaining) return WALK_TRUNCATED;
    *size = int32_t(need);
    if (need > available) return WALK_MORE;
    if (record->type == RECORD_DIR) return WALK_RECORD;

    const unsigned char* f = s + named;
    int64_t data_len;
    if (record->type == RECORD_FILE) {
        data_len = read_be32(f);
    } else {
        record->whole_size = read_be32(f);
        record->piece_offset = read_be32(f + 4);
        data_len = read_be32(f + 8);
        if (int64_t(record->piece_offset) + data_len > int64_t(record->whole_size)) return WALK_BAD_PIECE;
    }
    if (need + data_len > remaining) return WALK_TRUNCATED;
    record->data = s + need;
    record->data_len = int32_t(data_len);
    return WALK_RECORD;
}

int next_record(RecordCursor* cursor, Record* record) {
    if (!cursor->stream || cursor->pos >= cursor->length) return WALK_TRUNCATED;
    const int64_t remaining = int64_t(cursor->length) - cursor->pos;
    int32_t size = 0;
    const int result = read_record_head(cursor->stream + cursor->pos, remaining, remaining, record, &size);
    if (result == WALK_END) cursor->pos += size;
    if (result == WALK_RECORD) cursor->pos += size + record->data_len;
    return result;
}

const char* walk_result_text(int result) {
    switch (result) {
    case WALK_RECORD: return "record";
    case WALK_END: return "end of stream";
    case WALK_TRUNCATED: return "record stream cut short (a record runs past the end, or no end record)";
    case WALK_UNSAFE_NAME: return "unsafe name (would write outside the install directory)";
    case WALK_BAD_PIECE:
        return "a piece of a file spanning blocks out of order (past its file's size, no file begun, another name, "
               "a gap, or another size)";
    case WALK_UNFINISHED: return "a file spanning blocks without its last piece";
    default: return "unknown result";
    }
}
