// Record stream parsing: one bounded record at a time, with the name checks every reader of a stream applies.
#pragma once
#include <cstddef>
#include <cstdint>

#include "payload/format.h"

// Where a walk stands in one record stream of length bytes (a block's unpacked bytes).
struct RecordCursor {
    const unsigned char* stream;
    int32_t length;
    int32_t pos;  // offset of the next type byte
};

// One record as the stream holds it; name and data point into the stream.
struct Record {
    unsigned char type;         // RECORD_DIR or RECORD_FILE; for WALK_END the type byte that ended the stream
    const unsigned char* name;  // code page 936 bytes, not terminated
    size_t name_len;
    const unsigned char* data;  // file records only
    int32_t data_len;
};

// Results of next_record.
constexpr int WALK_RECORD = 0;       // *record holds a directory or file record
constexpr int WALK_END = 1;          // a type byte other than directory and file ended the stream
constexpr int WALK_TRUNCATED = 2;    // no type byte left, or a record runs past the end of the stream
constexpr int WALK_UNSAFE_NAME = 3;  // the name fails payload_name_is_safe

void start_records(RecordCursor* cursor, const unsigned char* stream, int32_t length);

// The name of a directory or file record that starts at *pos, after its type byte, in bytes[0, end): its length
// and bytes, which must lie before end and be a safe name. *pos moves past it; WALK_RECORD, WALK_TRUNCATED or
// WALK_UNSAFE_NAME. Shared by the record walk and the manifest's.
int read_record_name(const unsigned char* bytes, int64_t end, int64_t* pos, const unsigned char** name,
                     size_t* name_len);

// Reads the type byte at the cursor and, for a directory or file, the whole record, which must lie inside
// the stream and carry a safe name. The cursor moves past what was read: past the record for WALK_RECORD,
// past the ending type byte for WALK_END (so pos == length when it was the stream's last byte).
// A null or empty stream is WALK_TRUNCATED.
int next_record(RecordCursor* cursor, Record* record);

// A few words saying what a result of next_record means, for messages.
const char* walk_result_text(int result);
