// The bounded record parser shared by extraction and the vendor tool's checks.
#include "payload/records.h"

#include "payload/names.h"

void start_records(RecordCursor* cursor, const unsigned char* stream, int32_t length) {
    cursor->stream = stream;
    cursor->length = length;
    cursor->pos = 0;
}

int next_record(RecordCursor* cursor, Record* record) {
    // 64-bit offsets: a length field near 4 GiB must not wrap the bounds tests.
    const int64_t end = cursor->length;
    int64_t pos = cursor->pos;
    if (!cursor->stream || pos >= end) return WALK_TRUNCATED;
    const unsigned char* s = cursor->stream;

    record->type = s[pos++];
    record->name = nullptr;
    record->name_len = 0;
    record->data = nullptr;
    record->data_len = 0;
    if (record->type != RECORD_DIR && record->type != RECORD_FILE) {
        cursor->pos = int32_t(pos);
        return WALK_END;
    }

    if (pos + RECORD_NAME_LENGTH_SIZE > end) return WALK_TRUNCATED;
    record->name_len = read_be16(s + pos);
    pos += RECORD_NAME_LENGTH_SIZE;
    if (pos + int64_t(record->name_len) > end) return WALK_TRUNCATED;
    record->name = s + pos;
    pos += int64_t(record->name_len);
    if (!payload_name_is_safe(record->name, record->name_len)) return WALK_UNSAFE_NAME;

    if (record->type == RECORD_FILE) {
        if (pos + RECORD_DATA_LENGTH_SIZE > end) return WALK_TRUNCATED;
        const int64_t data_len = read_be32(s + pos);
        pos += RECORD_DATA_LENGTH_SIZE;
        if (pos + data_len > end) return WALK_TRUNCATED;
        record->data = s + pos;
        record->data_len = int32_t(data_len);
        pos += data_len;
    }
    cursor->pos = int32_t(pos);
    return WALK_RECORD;
}

const char* walk_result_text(int result) {
    switch (result) {
    case WALK_RECORD: return "record";
    case WALK_END: return "end of stream";
    case WALK_TRUNCATED: return "record stream cut short (a record runs past the end, or no end record)";
    case WALK_UNSAFE_NAME: return "unsafe name (would write outside the install directory)";
    default: return "unknown result";
    }
}
