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

// Opens the file's temporary (or the file itself, when its name is the temporary's) for its first bytes.
bool begin_file(WrittenFile* w, const char* path, int* error) {
    snprintf(w->path, sizeof w->path, "%s", path);
    w->in_place = !temporary_beside(path, w->temporary);
    // A file that a scanner holds for a moment is waited for there; one held for longer fails here.
    w->file = w->in_place ? os_create_file(w->path) : os_create_temporary(w->temporary);
    if (!w->file) *error = os_last_error();
    return w->file != nullptr;
}

bool write_more(WrittenFile* w, const unsigned char* data, int32_t length, int* error) {
    if (write_all(w->file, data, length)) return true;
    *error = os_last_error();
    return false;
}

// The temporary moved over the file's name in one step: while still open where the system can (one open of the file
// fewer), else after its close. The old file's bytes are at stake only when there is one: then the new ones reach the
// disk before the replace, so that even a power cut leaves one or the other whole. A new file takes its name without
// the flush, which costs a disk round trip for every file (a kill leaves the system's cache, and so the file, whole).
// The old file keeps its name and bytes until the move; on failure the temporary goes.
bool finish_file(WrittenFile* w, int* error) {
    // The tail of a file sits in the stream's buffer until written out: a full disk may only show there.
    bool ok = fflush(w->file) == 0;
    if (!ok) *error = os_last_error();
    MoveResult move = MoveResult::refused;
    if (ok && !w->in_place) {
        move = os_move_open_file(w->file, w->temporary, w->path, false);
        if (move != MoveResult::moved) {
            // A file at the name: flushed before it is replaced. Where the move is left to os_replace_file after
            // the close, the name is looked at to know.
            uint64_t old_size = 0;
            const bool old_file = move == MoveResult::exists || os_entry_kind(w->path, &old_size) != EntryKind::none;
            if (old_file && !os_flush_file(w->file)) {
                *error = os_last_error();
                ok = false;
            }
            if (ok && move == MoveResult::exists) move = os_move_open_file(w->file, w->temporary, w->path, true);
        }
    }
    const bool moved = move == MoveResult::moved;
    if (fclose(w->file) != 0 && ok) {
        *error = os_last_error();
        ok = false;
    }
    w->file = nullptr;
    if (ok && !w->in_place && !moved && !os_replace_file(w->temporary, w->path)) {
        *error = os_last_error();
        ok = false;
    }
    if (!ok && !w->in_place && !moved) os_remove_file(w->temporary);
    return ok;
}

void abandon_file(WrittenFile* w) {
    if (!w->file) return;
    fclose(w->file);
    w->file = nullptr;
    if (!w->in_place) os_remove_file(w->temporary);
}

}  // namespace

int write_file(const char* path, const unsigned char* data, int32_t length, int* system_error) {
    WrittenFile w{};
    int error = 0;
    bool ok = begin_file(&w, path, &error);
    if (ok && !write_more(&w, data, length, &error)) {
        abandon_file(&w);
        ok = false;
    }
    if (ok) ok = finish_file(&w, &error);
    if (!ok && system_error) *system_error = error;
    // A truncated program file must not pass for an installed one.
    return ok ? EXTRACT_OK : EXTRACT_FAILED;
}

namespace {

// Fills the caller's failure report, when there is one: what failed, the path, the record's stored name.
void report(ExtractFailure* failure, ExtractFault what, const char* path, const unsigned char* name, size_t length) {
    if (!failure) return;
    failure->what = what;
    snprintf(failure->path, sizeof failure->path, "%s", path ? path : "");
    size_t name_len = 0;
    if (name) {
        // A name past the path limit is cut to the buffer: enough to tell which record it was.
        name_len = length < sizeof failure->name ? length : sizeof failure->name - 1;
        memcpy(failure->name, name, name_len);
    }
    failure->name[name_len] = '\0';
}

ExtractFault record_failed(ExtractFailure* failure, WalkResult walk, const unsigned char* name, size_t name_len) {
    report(failure, ExtractFault::record, nullptr, name, name_len);
    if (failure) failure->walk = walk;
    return ExtractFault::record;
}

// The head of the record at pos, asking the source for as many bytes as the head turns out to need.
// WalkResult::truncated also when the source's bytes end first (its decoding failed, or they cannot be read).
WalkResult read_head(const StreamSource& source, int32_t pos, Record* record, int32_t* size) {
    int32_t need = RECORD_TYPE_SIZE;
    for (;;) {
        const unsigned char* bytes = nullptr;
        const int32_t got = source.view(source.context, pos, need, &bytes);
        const WalkResult result = read_record_head(bytes, got, int64_t(source.length) - pos, record, size);
        if (result != WalkResult::more) return result;
        if (got < need) return WalkResult::truncated;
        need = *size;
    }
}

// What one walk keeps: where it is, what it has reported, the stream it reads.
struct Walk {
    const StreamSource& source;
    const ProgressSink* progress;
    int32_t credited;  // a copied stream's bytes whose decoding share has been reported
};

// How copying a record's data into its file ended.
enum class Copied {
    whole,      // every byte is in the file
    truncated,  // the stream's bytes end first
    unwritten,  // the file cannot be written (*error says why)
};

// Copies length bytes of the stream from at into the file, a step at a time.
Copied copy_data(Walk* walk, int32_t at, int32_t length, WrittenFile* w, int* error) {
    while (length > 0) {
        const int32_t want = length < int32_t(DECODE_STEP) ? length : int32_t(DECODE_STEP);
        const unsigned char* bytes = nullptr;
        const int32_t got = walk->source.view(walk->source.context, at, want, &bytes);
        if (got < want) return Copied::truncated;
        if (!write_more(w, bytes, want, error)) return Copied::unwritten;
        at += want;
        length -= want;
        if (walk->source.copied) {
            progress_advance(walk->progress, 2 * (at - walk->credited));
            walk->credited = at;
        }
    }
    return Copied::whole;
}

}  // namespace

ExtractFault extract_from(const StreamSource& source, const char* install_dir, const ProgressSink* progress,
                          WrittenFile* spanning, ExtractFailure* failure) {
    char path[NATIVE_PATH_CAP];
    const size_t dir_len = strlen(install_dir);
    if (dir_len > PATH_LIMIT) {
        abandon_file(spanning);
        report(failure, ExtractFault::path, install_dir, nullptr, 0);
        return ExtractFault::path;
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
    Walk walk{source, progress, 0};
    int32_t pos = 0;
    int32_t mark = 0;
    Record record;
    WalkResult result;
    unsigned char name[PATH_LIMIT + 1];
    for (;;) {
        int32_t head = 0;
        result = read_head(source, pos, &record, &head);
        if (result != WalkResult::record) break;
        // The view the name lies in may move while the data is copied.
        const size_t name_len = record.name_len;
        memcpy(name, record.name, name_len < sizeof name ? name_len : sizeof name);
        if (dir_len + name_len > PATH_LIMIT || !os_join_payload_path(path, sizeof path, install_dir, name, name_len)) {
            abandon_file(spanning);
            report(failure, ExtractFault::path, install_dir, record.name, name_len);
            return ExtractFault::path;
        }
        if (record.type == RECORD_DIR) {
            make_dir(path);
            pos += head;
            continue;
        }
        int error = 0;
        WrittenFile single{};
        WrittenFile* w = &single;
        bool ok = true;
        if (record.type == RECORD_PIECE) {
            w = spanning;
            const bool continues =
                spanning->file && name_len == spanning->name_len && memcmp(name, spanning->name, name_len) == 0 &&
                record.whole_size == spanning->whole_size && record.piece_offset == spanning->written;
            if (!continues && (spanning->file || record.piece_offset != 0)) {
                abandon_file(spanning);
                return record_failed(failure, WalkResult::bad_piece, name, name_len);
            }
            if (!spanning->file) {
                ok = begin_file(spanning, path, &error);
                spanning->name_len = name_len;
                memcpy(spanning->name, name, name_len);
                spanning->whole_size = record.whole_size;
                spanning->written = 0;
            }
        } else {
            // A file spanning blocks takes no other file between its pieces.
            if (spanning->file) {
                abandon_file(spanning);
                return record_failed(failure, WalkResult::unfinished, spanning->name, spanning->name_len);
            }
            ok = begin_file(w, path, &error);
        }
        const int32_t data_len = record.data_len;
        const Copied copied = ok ? copy_data(&walk, pos + head, data_len, w, &error) : Copied::unwritten;
        if (copied == Copied::truncated) {
            abandon_file(w);
            return record_failed(failure, WalkResult::truncated, nullptr, 0);
        }
        ok = copied == Copied::whole;
        if (ok && w == spanning) spanning->written += uint32_t(data_len);
        if (ok && (w != spanning || spanning->written == spanning->whole_size)) ok = finish_file(w, &error);
        else if (!ok) abandon_file(w);
        pos += head + data_len;
        progress_advance(progress, pos - mark);
        mark = pos;
        if (!ok) {
            report(failure, ExtractFault::write, path, name, name_len);
            if (failure) failure->system_error = error;
            return ExtractFault::write;
        }
    }
    if (result != WalkResult::end) {
        abandon_file(spanning);
        return record_failed(failure, result, result == WalkResult::unsafe_name ? record.name : nullptr,
                             result == WalkResult::unsafe_name ? record.name_len : 0);
    }
    if (source.copied) progress_advance(progress, 2 * (source.length - walk.credited));
    if (record.type != RECORD_END) printf("invalid type %d\n", int(record.type));
    printf("extra end\n");
    return ExtractFault::none;
}

ExtractFault finish_spanning(WrittenFile* spanning, ExtractFailure* failure) {
    if (!spanning->file) return ExtractFault::none;
    abandon_file(spanning);
    return record_failed(failure, WalkResult::unfinished, spanning->name, spanning->name_len);
}

namespace {

struct MemoryStream {
    const unsigned char* stream;
    int32_t length;
};

int32_t view_memory(void* context, int32_t at, int32_t, const unsigned char** bytes) {
    const auto* m = static_cast<const MemoryStream*>(context);
    *bytes = m->stream + at;
    return at < m->length ? m->length - at : 0;
}

}  // namespace

int extract_records(const unsigned char* stream, int32_t length, const char* install_dir,
                    const ProgressSink* progress) {
    MemoryStream memory{stream, stream ? length : 0};
    WrittenFile spanning{};
    const ExtractFault fault =
        extract_from(StreamSource{memory.length, view_memory, &memory, false}, install_dir, progress, &spanning);
    return extract_status(fault == ExtractFault::none ? finish_spanning(&spanning) : fault);
}

const char* extract_failure_text(ExtractFault what) {
    switch (what) {
    case ExtractFault::decode: return "does not decode (damaged data, or out of memory)";
    case ExtractFault::record: return "damaged record stream";
    case ExtractFault::path: return "path too long, or a name with no form on this system";
    case ExtractFault::write: return "cannot be written";
    default: return "extraction failed";
    }
}
