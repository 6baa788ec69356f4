// The checks an installation makes before it creates its first folder or file, by the payload's manifest.
#pragma once
#include <cstddef>
#include <cstdint>

#include "payload/extract.h"
#include "payload/manifest.h"

// Results of preflight, in the order it checks; each failure leaves the disk as it was.
constexpr int PREFLIGHT_OK = 0;
constexpr int PREFLIGHT_PATH = 1;          // path: over the system's path limits, or a name with no Unicode form
constexpr int PREFLIGHT_BLOCKED = 2;       // path: a file stands where a folder goes, or a folder where a file
                                           // goes, or the system cannot say what is there (system_error)
constexpr int PREFLIGHT_NO_ROOM = 3;       // needed bytes more than available on volume
constexpr int PREFLIGHT_NOT_WRITABLE = 4;  // path: the folder that could not be created or written in (system_error)
constexpr int PREFLIGHT_HELD = 5;          // held: files to be replaced that other programs hold or run
constexpr int PREFLIGHT_DENIED = 6;        // path: a file to be replaced that cannot be (no permission; system_error)

// Files named in a PREFLIGHT_HELD report; held_count counts them all.
constexpr int PREFLIGHT_HELD_LISTED = 8;
// Room kept free beyond what the files take, so that the volume is not left full when the installation ends.
constexpr uint64_t PREFLIGHT_ROOM_MARGIN = uint64_t(4) << 20;

// What preflight found. Paths are UTF-8, as the engine's.
struct PreflightReport {
    int check;         // PREFLIGHT_*
    int system_error;  // os_last_error() of the call that failed; 0 when none did
    char path[NATIVE_PATH_CAP];
    uint64_t needed;               // PREFLIGHT_NO_ROOM: bytes the installation takes at its peak, margin included
    uint64_t available;            // PREFLIGHT_NO_ROOM: bytes this user may write on the volume
    char volume[NATIVE_PATH_CAP];  // PREFLIGHT_NO_ROOM: the volume's name (platform/disk.h)
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
// - every file that will be replaced can be replaced now (os_replace_blocker): HELD lists the ones that other
//   programs hold or run; DENIED names the first that is refused otherwise.
// Stops at the first check that fails and says why in *report (filled in full; zeroed first). Creates and
// removes only the probe. An empty manifest checks the install folder alone. Runs on the calling thread.
int preflight(const char* install_dir, const Manifest& manifest, PreflightReport* report);

// Removes TEMPORARY_NAME (extract.h) from the install folder and from every folder of the manifest, where a
// killed installation may have left it. Nothing else is touched; a failure to remove is ignored (the write
// of the next file there replaces it anyway).
void remove_temporaries(const char* install_dir, const Manifest& manifest);

// A few words saying what a PREFLIGHT_* result means, for the vendor tool's messages.
const char* preflight_text(int check);
