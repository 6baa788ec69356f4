// The checks an installation makes before it creates its first folder or file, by the payload's manifest.
#pragma once
#include <cstddef>
#include <cstdint>

#include "payload/extract.h"
#include "payload/manifest.h"

// Results of preflight, in the order it checks; each failure leaves the disk as it was. Numbered in that order,
// ok first and denied last, which the fuzz target checks every result against.
enum class PreflightResult {
    ok = 0,
    path = 1,          // path: over the system's path limits, or a name with no Unicode form
    blocked = 2,       // path: a file stands where a folder goes, or a folder where a file
                       // goes, or the system cannot say what is there (system_error)
    no_room = 3,       // needed bytes more than available on volume
    not_writable = 4,  // path: the folder that could not be created or written in (system_error)
    held = 5,          // held: files to be replaced that other programs hold or run
    denied = 6,        // path: a file to be replaced that cannot be (no permission; system_error)
};

// Files named in a PreflightResult::held report (a count, not a result: the report's room for paths);
// held_count counts them all.
constexpr int PREFLIGHT_HELD_LISTED = 8;
// Room kept free beyond what the files take, so that the volume is not left full when the installation ends.
constexpr uint64_t PREFLIGHT_ROOM_MARGIN = uint64_t(4) << 20;

// What preflight found. Paths are UTF-8, as the engine's.
struct PreflightReport {
    PreflightResult check;  // what preflight returned
    int system_error;       // os_last_error() of the call that failed; 0 when none did
    char path[NATIVE_PATH_CAP];
    uint64_t needed;               // no_room: bytes the installation takes at its peak, margin included
    uint64_t available;            // no_room: bytes this user may write on the volume
    char volume[NATIVE_PATH_CAP];  // no_room: the volume's name (platform/disk.h)
    int held_count;
    char held[PREFLIGHT_HELD_LISTED][NATIVE_PATH_CAP];
};

// Checks, for install_dir (UTF-8, ending with a separator) and every entry of the manifest, in this order:
// - every full path within the engine's PATH_LIMIT and the system's own limits (os_path_fits);
// - nothing of the wrong kind in the way (a file where a folder goes, a folder where a file goes);
// - room on the volume: the most the disk holds at any moment of the installation, each file rounded up to
//   the volume's cluster, the files it replaces given back after each replace, a new file's temporary and a
//   cluster of bookkeeping for each new entry, plus PREFLIGHT_ROOM_MARGIN;
// - the folder can be created and written in: a probe file in the install folder, or in the first of its
//   folders that does not exist yet, created and removed again with that folder;
// - every file that will be replaced can be replaced now (os_replace_blocker): held lists the ones that other
//   programs hold or run; denied names the first that is refused otherwise.
// Stops at the first check that fails and says why in *report (filled in full; zeroed first). Creates and
// removes only the probe. An empty manifest checks the install folder alone. Runs on the calling thread.
PreflightResult preflight(const char* install_dir, const Manifest& manifest, PreflightReport* report);

// Removes TEMPORARY_NAME (extract.h) from the install folder and from every folder of the manifest, where a
// killed installation may have left it. Nothing else is touched; a failure to remove is ignored (the write
// of the next file there replaces it anyway).
void remove_temporaries(const char* install_dir, const Manifest& manifest);

// A few words saying what a PreflightResult means, for the vendor tool's messages.
const char* preflight_text(PreflightResult check);
