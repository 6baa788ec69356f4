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

    const int named = read_record_name(s, end, &pos, &record->name, &record->name_len);
    if (named != WALK_RECORD) return named;

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
