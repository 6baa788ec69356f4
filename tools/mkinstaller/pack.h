// Building an installer: the source tree planned into self-contained blocks, packed on all cores, appended to the stub.
#pragma once
#include <cstdint>
#include <filesystem>

#include "block_encoder.h"
#include "block_plan.h"

struct PackOptions {
    std::filesystem::path stub;
    std::filesystem::path out;
    std::filesystem::path source;
    int flags = 0;                 // the worker's option flags, 0-3
    bool checksums = true;         // a CRC-32 table after the directory (option flag 0x80)
    bool stored = true;            // stored blocks for what LZMA does not shrink; the stub must read them
    bool require_programs = true;  // the cashier program (and the service program flags ask for) at the top
    // Largest unpacked block (a larger file is cut into pieces behind an image that reads them; otherwise it gets
    // a block of its own). 0: the default split, default_block_size() of the product's bytes.
    uint64_t block_size = 0;
    unsigned jobs = 0;            // blocks packed at once; 0: one per processor
    EncodeOptions encode;         // level, dictionary (0 = auto), end marker
    bool progress = false;        // a bar on stderr (a terminal): bytes in, bytes out, rate
    bool progress_lines = false;  // without the bar: a plain line on stderr every few seconds (CI logs)
};

// Checks options.out (check_output) and creates its temporary before anything else, so a wrong OUT fails
// at once; reads and checks the stub (read_stub_image: a Windows program, no installer, and with
// options.stored the reader mark); walks the source, refusing it with every entry Windows could not install as
// it is (walk_source_tree); unless options.require_programs is off, requires the programs the installer starts
// (check_product_programs); with options.stored, finds the files that LZMA does not shrink (find_unshrinkable_files)
// and plans them into stored blocks after the LZMA blocks (plan_blocks), and stores any LZMA block whose data comes out
// no smaller than its stream. Packs the blocks on up to options.jobs threads while the estimated memory of
// the blocks in progress stays under half of the memory the process can use; the output is the same for any number
// of jobs.
// Writes options.out atomically (a temporary beside it, then a rename), with the checksum table and flag
// 0x80 unless options.checksums is off, and reports each block on stdout in order, then the installer written
// and the memory installing it takes (install_memory). With options.progress, a bar on stderr that moves while
// each block is encoded; else with options.progress_lines, TerminalProgress's plain lines.
// Throws ToolError with MKI_FAILED, as every step of pack does, naming the file at fault: the stub refused, say, or
// a file that changed while it was being packed; one naming both when the stub and the tree are refused (each is
// checked before anything is compressed).
void pack_installer(const PackOptions& options);

// The default split: a quarter of the product's bytes, rounded up to a MiB, so that a product of a few tens of MB
// or more gives at least 4 blocks of about equal size and keeps 2- and 4-core terminals busy; at least
// DEFAULT_BLOCK_MIN (smaller blocks cost compression and a block each for little gain) and at most
// DEFAULT_BLOCK_MAX, so that two blocks and their 1 MiB windows decode side by side within the installer's
// 128 MiB budget.
constexpr uint64_t DEFAULT_BLOCK_MIN = 4ull << 20;
constexpr uint64_t DEFAULT_BLOCK_MAX = 63ull << 20;
uint64_t default_block_size(uint64_t product_bytes);
