// Helpers of the mkinstaller tests: file trees named in UTF-8, in-process command runs, decoded blocks.
#pragma once
#include "support/tree_io.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A stand-in program image of 512 bytes for the front of an installer, stub.exe in dir: a well-formed PE32
// image (minimal_pe), carrying the reader mark of the given revision (PAYLOAD_READER_MANIFEST: today's image,
// which reads stored blocks and the manifest; PAYLOAD_READER_STORED: an image that reads stored blocks but no
// manifest, so pack writes the payload without one; 0: no mark, an image from before stored blocks).
std::string make_stub(const std::filesystem::path& dir, int reader_revision = 2);
// The bytes make_stub writes.
std::vector<uint8_t> stub_bytes(int reader_revision = 2);

// The option that packs a tree without the programs the installer starts, for tests about something else.
constexpr const char* ALLOW_MISSING_PROGRAMS = "--allow-missing-programs";
// 霁桐收银端.exe and 霁桐餐饮服务.exe (UTF-8), the programs pack requires at the top of a product.
extern const char* const CASHIER_UTF8;
extern const char* const SERVICE_UTF8;
// The tree with both programs at its top, each a minimal PE image of 512 bytes.
Tree with_programs(Tree tree);

struct CliRun {
    int status;
    std::string out;
    std::string err;
};
// run_mkinstaller with stdout and stderr captured.
CliRun run_cli(const std::vector<std::string>& args);

// Every block of an installer decoded, in order, with the trailer's values.
struct Payload {
    std::vector<std::vector<uint8_t>> stored;   // block header + LZMA data
    std::vector<std::vector<uint8_t>> streams;  // unpacked record streams
    uint32_t total = 0;
    int flags = 0;
};
Payload read_installer(const std::string& path);

// One record of a stream, for checking a block's shape.
struct Entry {
    int type;
    std::string name;  // code page 936 bytes as stored
    int32_t size;
};
// The records of a stream up to its end record; fails the test on a malformed stream.
std::vector<Entry> entries_of(const std::vector<uint8_t>& stream);
