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
    unsigned char type;         // RECORD_DIR, RECORD_FILE or RECORD_PIECE; for WalkResult::end the type byte that ended
                                // the stream
    const unsigned char* name;  // code page 936 bytes, not terminated
    size_t name_len;
    const unsigned char* data;  // file and piece records only
    int32_t data_len;
    uint32_t whole_size;    // piece records only: the whole file's size
    uint32_t piece_offset;  // piece records only: where the piece's bytes go in the file
};

// Results of next_record and read_record_head. Numbered: the extraction tests compare a failure's walk result
// as a number.
enum class WalkResult {
    record = 0,       // *record holds a directory, file or piece record
    end = 1,          // a type byte other than directory, file and piece ended the stream
    truncated = 2,    // no type byte left, or a record runs past the end of the stream
    unsafe_name = 3,  // the name fails payload_name_is_safe
    bad_piece = 4,    // a piece runs past its file's size, or does not continue the file begun
                      // (extraction: no file begun, another name, a gap, another size)
    unfinished = 5,   // extraction: a file spanning blocks lacks its last piece (another record came
                      // between its pieces, or the payload ended)
    more = 6,         // read_record_head only: the head needs more bytes than it was given
};

void start_records(RecordCursor* cursor, const unsigned char* stream, int32_t length);

// The name of a directory or file record that starts at *pos, after its type byte, in bytes[0, end): its length
// and bytes, which must lie before end and be a safe name. *pos moves past it; WalkResult::record,
// WalkResult::truncated or WalkResult::unsafe_name. Shared by the record walk and the manifest's.
WalkResult read_record_name(const unsigned char* bytes, int64_t end, int64_t* pos, const unsigned char** name,
                            size_t* name_len);

// Reads the type byte at the cursor and, for a directory, file or piece, the whole record, which must lie inside
// the stream and carry a safe name. The cursor moves past what was read: past the record for WalkResult::record,
// past the ending type byte for WalkResult::end (so pos == length when it was the stream's last byte).
// A null or empty stream is WalkResult::truncated.
WalkResult next_record(RecordCursor* cursor, Record* record);

// The head of the record whose type byte is head[0], from the available bytes of the stream given at head, with
// remaining bytes left in the stream from head on (available <= remaining): WalkResult::record with *record filled
// (data points right after the head and may lie beyond what is available) and *size the head's bytes; WalkResult::end
// with *size 1; WalkResult::more with *size the bytes it needs to go on (at most RECORD_HEAD_LIMIT);
// WalkResult::truncated when the head or the data runs past remaining; WalkResult::unsafe_name; WalkResult::bad_piece
// when a piece runs past its file's size.
WalkResult read_record_head(const unsigned char* head, int64_t available, int64_t remaining, Record* record,
                            int32_t* size);

// A few words saying what a result of next_record means, for messages.
const char* walk_result_text(WalkResult result);
