// Pre-flight: paths, what is in the way, room, a probe write and held files, all before the first write.
#include "payload/preflight.h"

#include <cstdio>
#include <cstring>

#include "payload/records.h"
#include "platform/disk.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/os.h"

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

// The install folder without its final separator.
void folder_of_dir(const char* install_dir, char* out) {
    snprintf(out, NATIVE_PATH_CAP, "%s", install_dir);
    size_t len = strlen(out);
    while (len > 1 && is_separator(out[len - 1])) out[--len] = '\0';
}

uint64_t round_up(uint64_t bytes, uint64_t cluster) { return (bytes + cluster - 1) / cluster * cluster; }

// The path as a user would write it: the separator between the install folder and a name appears once.
void shown_path(const char* path, char* out, size_t cap) {
    size_t n = 0;
    for (size_t i = 0; path[i] && n + 1 < cap; ++i)
        if (!(i > 1 && is_separator(path[i]) && is_separator(path[i - 1]))) out[n++] = path[i];
    out[n] = '\0';
}

PreflightResult fail(PreflightReport* report, PreflightResult check, const char* path, int system_error) {
    report->check = check;
    report->system_error = system_error;
    shown_path(path ? path : "", report->path, sizeof report->path);
    return check;
}

// Calls visit(path, entry) for each manifest entry with its full path; stops at the first false.
template <class Visit>
bool each_entry(const char* install_dir, const Manifest& manifest, Visit visit) {
    ManifestCursor cursor;
    start_manifest(&cursor, manifest);
    ManifestEntry entry;
    char path[NATIVE_PATH_CAP];
    const size_t dir_len = strlen(install_dir);
    while (next_manifest_entry(&cursor, &entry) == WalkResult::record) {
        const bool joined = dir_len + entry.name_len <= PATH_LIMIT &&
                            os_join_payload_path(path, sizeof path, install_dir, entry.name, entry.name_len);
        if (!visit(joined ? path : nullptr, entry)) return false;
    }
    return true;
}

PreflightResult check_paths(const char* install_dir, const char* folder, const Manifest& manifest,
                            PreflightReport* report) {
    if (strlen(install_dir) > PATH_LIMIT || !os_path_fits(folder, true))
        return fail(report, PreflightResult::path, folder, 0);
    PreflightResult result = PreflightResult::ok;
    each_entry(install_dir, manifest, [&](const char* path, const ManifestEntry& entry) {
        if (path && os_path_fits(path, entry.type == RECORD_DIR)) return true;
        // A name with no form here is shown as the folder it would go in.
        result = fail(report, PreflightResult::path, path ? path : folder, 0);
        return false;
    });
    return result;
}

// The nearest folder of path (itself included) that exists, into out; false when none does, or a file
// stands on the way (then out names it).
bool nearest_existing(const char* folder, char* out) {
    snprintf(out, NATIVE_PATH_CAP, "%s", folder);
    for (;;) {
        uint64_t size;
        const EntryKind kind = os_entry_kind(out, &size);
        if (kind == EntryKind::dir) return true;
        if (kind != EntryKind::none) return false;
        size_t len = strlen(out);
        while (len > 0 && !is_separator(out[len - 1])) --len;
        // The root's own separator stays ("C:\", "/").
        if (len == 0) return false;
        const size_t cut = len > 1 && !(len == 3 && out[1] == ':') ? len - 1 : len;
        if (cut == strlen(out)) return false;
        out[cut] = '\0';
    }
}

PreflightResult check_room(const char* install_dir, const char* existing, const Manifest& manifest,
                           PreflightReport* report) {
    uint64_t available = 0, cluster = 4096;
    if (!os_volume_space(existing, &available, &cluster, report->volume, sizeof report->volume))
        return fail(report, PreflightResult::not_writable, existing, os_last_error());
    if (cluster == 0) cluster = 4096;
    // In manifest order, as extraction goes: a file's temporary sits beside the old file until the replace.
    int64_t now = 0, peak = 0;
    PreflightResult result = PreflightResult::ok;
    each_entry(install_dir, manifest, [&](const char* path, const ManifestEntry& entry) {
        uint64_t old_size = 0;
        if (!path) return true;
        const EntryKind kind = os_entry_kind(path, &old_size);
        if (entry.type == RECORD_DIR) {
            if (kind == EntryKind::none) now += int64_t(cluster);
        } else {
            const int64_t fresh = int64_t(round_up(entry.size, cluster));
            const int64_t old = kind == EntryKind::file ? int64_t(round_up(old_size, cluster)) : 0;
            const int64_t bookkeeping = kind == EntryKind::none ? int64_t(cluster) : 0;
            if (now + fresh + bookkeeping > peak) peak = now + fresh + bookkeeping;
            now += fresh + bookkeeping - old;
        }
        if (now > peak) peak = now;
        return true;
    });
    report->needed = uint64_t(peak) + PREFLIGHT_ROOM_MARGIN;
    report->available = available;
    if (report->needed > available) result = fail(report, PreflightResult::no_room, existing, 0);
    return result;
}

PreflightResult check_kinds(const char* install_dir, const char* folder, const Manifest& manifest,
                            PreflightReport* report) {
    char existing[NATIVE_PATH_CAP];
    if (!nearest_existing(folder, existing)) {
        uint64_t size;
        const bool file_in_way = os_entry_kind(existing, &size) == EntryKind::file;
        return fail(report, file_in_way ? PreflightResult::blocked : PreflightResult::not_writable, existing,
                    file_in_way ? 0 : os_last_error());
    }
    PreflightResult result = PreflightResult::ok;
    each_entry(install_dir, manifest, [&](const char* path, const ManifestEntry& entry) {
        uint64_t size;
        if (!path) return true;
        const EntryKind kind = os_entry_kind(path, &size);
        const EntryKind wanted = entry.type == RECORD_DIR ? EntryKind::dir : EntryKind::file;
        if (kind == EntryKind::none || kind == wanted) return true;
        result = fail(report, PreflightResult::blocked, path, kind == EntryKind::other ? os_last_error() : 0);
        return false;
    });
    return result;
}

// The probe: a file in the install folder, or in the first of its folders still missing, created for it.
PreflightResult check_writable(const char* folder, const char* existing, PreflightReport* report) {
    char created[NATIVE_PATH_CAP] = "";
    const size_t existing_len = strlen(existing);
    if (strcmp(existing, folder) != 0) {
        // existing is a prefix of folder; the next component begins after the separator that follows it.
        size_t end = existing_len;
        while (folder[end] && is_separator(folder[end])) ++end;
        while (folder[end] && !is_separator(folder[end])) ++end;
        snprintf(created, sizeof created, "%.*s", int(end), folder);
        if (!os_mkdir(created)) return fail(report, PreflightResult::not_writable, created, os_last_error());
    }
    const char* probe_dir = created[0] ? created : folder;
    char probe[NATIVE_PATH_CAP];
    snprintf(probe, sizeof probe, "%s%c%s", probe_dir, os_separator(), TEMPORARY_NAME);
    FILE* file = os_create_file(probe);
    PreflightResult result = PreflightResult::ok;
    if (!file) result = fail(report, PreflightResult::not_writable, probe_dir, os_last_error());
    else if (fclose(file) != 0) result = fail(report, PreflightResult::not_writable, probe_dir, os_last_error());
    if (file) os_remove_file(probe);
    if (created[0]) os_rmdir(created);
    return result;
}

PreflightResult check_replaceable(const char* install_dir, const Manifest& manifest, PreflightReport* report) {
    char denied[NATIVE_PATH_CAP] = "";
    int denied_error = 0;
    each_entry(install_dir, manifest, [&](const char* path, const ManifestEntry& entry) {
        uint64_t size;
        if (!path || entry.type != RECORD_FILE || os_entry_kind(path, &size) != EntryKind::file) return true;
        const int error = os_replace_blocker(path);
        if (error == 0) return true;
        if (os_error_kind(error) == OsErrorKind::held) {
            if (report->held_count < PREFLIGHT_HELD_LISTED)
                shown_path(path, report->held[report->held_count], NATIVE_PATH_CAP);
            ++report->held_count;
        } else if (!denied[0]) {
            snprintf(denied, sizeof denied, "%s", path);
            denied_error = error;
        }
        return true;
    });
    // Held files first: the user can release them and try again.
    if (report->held_count > 0) return fail(report, PreflightResult::held, report->held[0], 0);
    if (denied[0]) return fail(report, PreflightResult::denied, denied, denied_error);
    return PreflightResult::ok;
}

}  // namespace

PreflightResult preflight(const char* install_dir, const Manifest& manifest, PreflightReport* report) {
    memset(report, 0, sizeof *report);
    char folder[NATIVE_PATH_CAP];
    folder_of_dir(install_dir, folder);
    PreflightResult result = check_paths(install_dir, folder, manifest, report);
    if (result == PreflightResult::ok) result = check_kinds(install_dir, folder, manifest, report);
    char existing[NATIVE_PATH_CAP];
    if (result == PreflightResult::ok && !nearest_existing(folder, existing))
        result = fail(report, PreflightResult::not_writable, folder, os_last_error());
    if (result == PreflightResult::ok) result = check_room(install_dir, existing, manifest, report);
    if (result == PreflightResult::ok) result = check_writable(folder, existing, report);
    if (result == PreflightResult::ok) result = check_replaceable(install_dir, manifest, report);
    return result;
}

void remove_temporaries(const char* install_dir, const Manifest& manifest) {
    char path[NATIVE_PATH_CAP];
    uint64_t size;
    snprintf(path, sizeof path, "%s%s", install_dir, TEMPORARY_NAME);
    if (os_entry_kind(path, &size) == EntryKind::file) os_remove_file(path);
    each_entry(install_dir, manifest, [&](const char* dir, const ManifestEntry& entry) {
        if (entry.type != RECORD_DIR || !dir) return true;
        const int len = snprintf(path, sizeof path, "%s%c%s", dir, os_separator(), TEMPORARY_NAME);
        if (len < int(sizeof path) && os_entry_kind(path, &size) == EntryKind::file) os_remove_file(path);
        return true;
    });
}

const char* preflight_text(PreflightResult check) {
    switch (check) {
    case PreflightResult::ok: return "ok";
    case PreflightResult::path: return "path too long for the system, or a name with no form on this system";
    case PreflightResult::blocked: return "in the way: a file where a folder goes, or a folder where a file goes";
    case PreflightResult::no_room: return "not enough room on the drive";
    case PreflightResult::not_writable: return "the folder cannot be created or written in";
    case PreflightResult::held: return "in use by another program";
    case PreflightResult::denied: return "cannot be replaced";
    }
    return "pre-flight failed";  // no PreflightResult: every one is named above
}
