// Record stream extraction: directories and files of each block, created under the install directory.
#pragma once
#include <cstdint>
#include <cstdio>

#include "payload/decode.h"
#include "payload/payload.h"
#include "payload/progress.h"
#include "payload/records.h"

// Status results of extraction: the installer's 0 and 1, which write_file, extract_records and install_payload
// return.
constexpr int EXTRACT_OK = 0;
constexpr int EXTRACT_FAILED = 1;

// The install directory's bytes (UTF-8) and the longest name's stored bytes (code page 936) add up to at most
// this many. On Windows the system's own path limit (MAX_PATH, for the wide calls without the long-path
// prefix) refuses long paths well before it; this one bounds the engine's own buffers on every platform.
constexpr size_t PATH_LIMIT = 1023;
// Paths grow when names are converted to UTF-8 (a code page 936 character takes up to 3 bytes there, a stored
// one 2); the limit above is on the install directory's bytes and the name's stored bytes.
constexpr size_t NATIVE_PATH_CAP = 4096;

// What an extraction failed at: what the walks over the blocks return, and what a caller that says more than the
// installer's one message (the vendor tool) reads from its report. The installer's own report changes nothing in
// what extraction does.
enum class ExtractFault {
    none,    // nothing failed
    decode,  // the block does not decode (damaged data), or memory for it ran out
    record,  // the record stream breaks its limits; walk says how
    path,    // install directory + name over PATH_LIMIT bytes, or no native form
    write,   // a file could not be created or written whole
};

// The status a fault gives where the installer's 0 and 1 are returned: EXTRACT_OK for none, else EXTRACT_FAILED.
constexpr int extract_status(ExtractFault fault) { return fault == ExtractFault::none ? EXTRACT_OK : EXTRACT_FAILED; }

// Filled by the extracting thread when extraction fails; untouched on success (the caller zeroes it first).
struct ExtractFailure {
    ExtractFault what;                   // none while nothing failed
    int32_t block;                       // the failing block's index in directory order
    WalkResult walk;                     // record: the result that ended the walk
    int system_error;                    // write: os_last_error() right after the failed call
    char path[NATIVE_PATH_CAP];          // the path being created (path: the install directory when the name has
                                         // no place); empty for decode and record
    unsigned char name[PATH_LIMIT + 1];  // the record's stored name (code page 936), NUL-terminated; may be empty
};

// A few words saying what a fault means, for messages.
const char* extract_failure_text(ExtractFault what);

// What extraction reads: a block's record stream of length bytes, seen a part at a time. view(context, at, need,
// &bytes) points bytes at the stream's bytes from offset at on and returns how many lie there contiguously: at
// least need (need <= DECODE_STEP), unless the stream's bytes end sooner (its decoding failed there, or they cannot
// be read), when it returns fewer; it may wait for a decoder. A view stays valid until the next call.
struct StreamSource {
    int32_t length;
    int32_t (*view)(void* context, int32_t at, int32_t need, const unsigned char** bytes);
    void* context;
    // A stored block, copied from where it lies: the walk credits progress for its bytes as a decoder would, twice
    // the stream bytes, as each step of file data (at most DECODE_STEP bytes) is written, and the rest at its end.
    bool copied;
};

// The file a walk is writing, and for a file spanning blocks (piece records) the one it goes on writing in the
// next block: its temporary stays open between pieces, and takes the file's name at the last piece. Zeroed at the
// start of an installation (file null: none is being written).
struct WrittenFile {
    FILE* file;
    bool in_place;  // the file's own name is TEMPORARY_NAME: written where it goes
    char path[NATIVE_PATH_CAP];
    char temporary[NATIVE_PATH_CAP];
    unsigned char name[PATH_LIMIT + 1];  // a spanning file's stored name, to match its next piece's
    size_t name_len;
    uint32_t whole_size;  // a spanning file's size, and its bytes written so far
    uint32_t written;
};

// extract_records over a source, waiting for its bytes as the walk needs them, with spanning (zeroed before the
// first block) carrying a file spanning blocks from one block's walk to the next. A piece record begins such a file
// (offset 0), or continues the one begun (same name and size, the offset of the bytes written so far), and the last
// piece gives it its name; between two pieces only directory records and the block's end may come. A failure
// removes the file's temporary. Returns what failed (ExtractFault::none when nothing did); failure, when not null,
// receives the details, all but the block's index.
ExtractFault extract_from(const StreamSource& source, const char* install_dir, const ProgressSink* progress,
                          WrittenFile* spanning, ExtractFailure* failure = nullptr);

// Ends an installation's walks: ExtractFault::none when no file spanning blocks is left unfinished; otherwise its
// temporary is removed, the result is ExtractFault::record and failure (when not null) says WalkResult::unfinished,
// with its name.
ExtractFault finish_spanning(WrittenFile* spanning, ExtractFailure* failure = nullptr);

// Walks one record stream of length bytes: creates the install directory's prefixes, then each directory
// and file. EXTRACT_FAILED when a file cannot be opened or written whole, or the stream breaks its limits:
// empty, a record or name past the end, no final type byte, an unsafe name or one with no Unicode form, a
// joined path over PATH_LIMIT, or pieces of a file that do not make it whole within the stream.
// An unknown type byte ends the stream without failure. After each file record progress (may be null)
// advances by the stream bytes since the previous report.
int extract_records(const unsigned char* stream, int32_t length, const char* install_dir, const ProgressSink* progress);

// Traces "mkdir <path>" and creates that one directory; the result is not looked at (an existing one is normal).
void make_dir(const char* path);

// The temporary a file is written to before it takes its name, in the file's own folder. Short enough to fit
// in any folder Windows lets the installer create (a folder's path leaves room for a name of 11 units), and
// one per folder: files are written one at a time. A run that was killed may leave one behind;
// remove_temporaries (preflight.h) clears them before the next installation writes.
constexpr char TEMPORARY_NAME[] = "~jt$new.tmp";

// Writes length bytes to the file at path so that it is never half-written: first to TEMPORARY_NAME in the
// same folder (os_create_temporary: on Windows a file another program holds for a moment is waited for, about
// 2 s at most), then moved over path in one step while still open (os_move_open_file) or, where that is refused,
// after its close (os_replace_file, which also waits out a brief hold and clears a read-only attribute). When a
// file is at path the temporary is flushed to the disk first (os_flush_file); a new file is left to the system's
// cache, as a kill does not lose it. Until the move the old file at path stays as it was.
// EXTRACT_FAILED when the temporary cannot be created, not every byte reaches the disk (a write, the flush or
// the close failed, as on a full disk), or the replace fails; the temporary is then removed, path untouched,
// and *system_error (when not null) receives os_last_error() of the call that failed. A file whose own name
// is TEMPORARY_NAME is written in place.
int write_file(const char* path, const unsigned char* data, int32_t length, int* system_error = nullptr);

// fwrite the bytes in a loop until all are written or a call writes nothing. True when all were written
// (also when length <= 0); false for null data with a positive length.
bool write_all(FILE* file, const unsigned char* data, int32_t length);
