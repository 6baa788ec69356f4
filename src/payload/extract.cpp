// Turns decoded record streams into directories and files under the install directory.
#include "payload/extract.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "payload/decode.h"
#include "payload/records.h"
#include "platform/disk.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/os.h"

void make_dir(const char* path) {
    os_trace_path("mkdir ", path);
    os_mkdir(path);
}

bool write_all(FILE* file, const unsigned char* data, int32_t length) {
    if (length <= 0) return true;
    if (!data) return false;
    int32_t remaining = length;
    while (remaining > 0) {
        size_t wrote = fwrite(data + (length - remaining), 1, size_t(remaining), file);
        if (wrote == 0) break;
        remaining -= int32_t(wrote);
    }
    return remaining == 0;
}

namespace {

// The temporary beside path into out (NATIVE_PATH_CAP bytes); false when path's own name is the temporary's.
bool temporary_beside(const char* path, char* out) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    if (strcmp(name, TEMPORARY_NAME) == 0) return false;
    snprintf(out, NATIVE_PATH_CAP, "%.*s%s", int(name - path), path, TEMPORARY_NAME);
    return true;
}

// Creates or truncates the file and writes length bytes to the disk; on failure *error is the failed call's.
bool write_whole(const char* path, const unsigned char* data, int32_t length, bool flush, int* error) {
    // A file that a scanner holds for a moment is waited for there; one held for longer fails here.
    FILE* file = os_create_file(path);
    if (!file) {
        *error = os_last_error();
        return false;
    }
    bool ok = write_all(file, data, length) && (!flush || os_flush_file(file));
    if (!ok) *error = os_last_error();
    // The tail of a file sits in the stream's buffer until the close: a full disk may only show there.
    if (fclose(file) != 0 && ok) {
        *error = os_last_error();
        ok = false;
    }
    return ok;
}

}  // namespace

int write_file(const char* path, const unsigned char* data, int32_t length, int* system_error) {
    char temporary[NATIVE_PATH_CAP];
    int error = 0;
    bool ok;
    if (!temporary_beside(path, temporary)) {
        ok = write_whole(path, data, length, false, &error);
    } else {
        // The old file's bytes are at stake only when there is one: then the new ones reach the disk before the
        // replace, so that even a power cut leaves one or the other whole. A new file goes without the flush,
        // which costs a disk round trip for every file (a kill leaves the system's cache, and so the file, whole).
        uint64_t old_size = 0;
        const bool replaces = os_entry_kind(path, &old_size) != ENTRY_NONE;
        ok = write_whole(temporary, data, length, replaces, &error);
        if (ok && !os_replace_file(temporary, path)) {
            error = os_last_error();
            ok = false;
        }
        // The old file keeps its name and bytes; the half-written or unplaced copy goes.
        if (!ok) os_remove_file(temporary);
    }
    if (!ok && system_error) *system_error = error;
    // A truncated program file must not pass for an installed one.
    return ok ? EXTRACT_OK : EXTRACT_FAILED;
}

namespace {

// Fills the caller's failure report, when there is one: what failed, the path, the record's stored name.
void report(ExtractFailure* failure, int what, const char* path, const Record* record) {
    if (!failure) return;
    failure->what = what;
    snprintf(failure->path, sizeof failure->path, "%s", path ? path : "");
    size_t name_len = 0;
    if (record && record->name) {
        // A name past the path limit is cut to the buffer: enough to tell which record it was.
        name_len = record->name_len < sizeof failure->name ? record->name_len : sizeof failure->name - 1;
        memcpy(failure->name, record->name, name_len);
    }
    failure->name[name_len] = '\0';
}

// The next record, waiting for the decoder while the bytes it needs are still to come. WALK_TRUNCATED when
// they never come: the stream ends, or its decoding failed or stopped.
int next_available_record(const StreamSource& source, RecordCursor* cursor, Record* record) {
    for (;;) {
        const int result = next_record(cursor, record);
        if (result != WALK_TRUNCATED || !source.wait_for || cursor->length >= source.length) return result;
        const int32_t ready = source.wait_for(source.context, cursor->length + 1);
        if (ready <= cursor->length) return WALK_TRUNCATED;
        cursor->length = ready;
    }
}

}  // namespace

int extract_from(const StreamSource& source, const char* install_dir, const ProgressSink* progress,
                 ExtractFailure* failure) {
    char path[NATIVE_PATH_CAP];
    const size_t dir_len = strlen(install_dir);
    if (dir_len > PATH_LIMIT) {
        report(failure, EXTRACT_FAILED_PATH, install_dir, nullptr);
        return EXTRACT_FAILED;
    }
    memcpy(path, install_dir, dir_len + 1);

    // Every directory prefix of the install directory, its last component included. In UTF-8 a separator
    // byte is always the character itself.
    for (size_t i = 0; i < dir_len; ++i) {
        if (path[i] != '/' && path[i] != '\\') continue;
        path[i] = '\0';
        make_dir(path);
        path[i] = os_separator();
    }

    printf("start dec\n");
    RecordCursor cursor;
    const int32_t first = source.wait_for && source.length > 0 ? source.wait_for(source.context, 1) : source.length;
    start_records(&cursor, source.stream, first);
    Record record;
    int32_t mark = 0;
    int result;
    while ((result = next_available_record(source, &cursor, &record)) == WALK_RECORD) {
        if (dir_len + record.name_len > PATH_LIMIT ||
            !os_join_payload_path(path, sizeof path, install_dir, record.name, record.name_len)) {
            report(failure, EXTRACT_FAILED_PATH, install_dir, &record);
            return EXTRACT_FAILED;
        }
        if (record.type == RECORD_DIR) {
            make_dir(path);
            continue;
        }
        int error = 0;
        const int status = write_file(path, record.data, record.data_len, &error);
        progress_advance(progress, cursor.pos - mark);
        mark = cursor.pos;
        if (status != EXTRACT_OK) {
            report(failure, EXTRACT_FAILED_WRITE, path, &record);
            if (failure) failure->system_error = error;
            return EXTRACT_FAILED;
        }
    }
    if (result != WALK_END) {
        report(failure, EXTRACT_FAILED_RECORD, nullptr, result == WALK_UNSAFE_NAME ? &record : nullptr);
        if (failure) failure->walk = result;
        return EXTRACT_FAILED;
    }
    if (record.type != RECORD_END) printf("invalid type %d\n", int(record.type));
    printf("extra end\n");
    return EXTRACT_OK;
}

int extract_records(const unsigned char* stream, int32_t length, const char* install_dir,
                    const ProgressSink* progress) {
    return extract_from(StreamSource{stream, length, nullptr, nullptr}, install_dir, progress);
}

const char* extract_failure_text(int what) {
    switch (what) {
    case EXTRACT_FAILED_DECODE: return "does not decode (damaged data, or out of memory)";
    case EXTRACT_FAILED_RECORD: return "damaged record stream";
    case EXTRACT_FAILED_PATH: return "path too long, or a name with no form on this system";
    case EXTRACT_FAILED_WRITE: return "cannot be written";
    default: return "extraction failed";
    }
}
