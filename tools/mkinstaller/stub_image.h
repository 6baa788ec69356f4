// The program image pack puts in front of the payload: read whole and checked before anything is packed.
#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

// Reads the stub and returns its bytes. Throws PackError naming the stub, with what was found:
// - a directory, or a file that cannot be opened or read: the system's reason;
// - "not a Windows program": empty, no "MZ" at its start, or no "PE\0\0" where the DOS header's pointer
//   leads inside the file;
// - "already an installer: pass its program image": the payload reader finds a payload in it (signed or not);
// - only when stored blocks are wanted: "a program image from an older build that cannot read stored
//   blocks", when no reader mark (PAYLOAD_READER_MARK_PREFIX and a revision) is in its bytes.
std::vector<uint8_t> read_stub_image(const std::filesystem::path& stub, bool stored);

// The highest revision of the reader mark in the image's bytes (PAYLOAD_READER_STORED, PAYLOAD_READER_MANIFEST,
// or a later one), or 0 when it carries none.
int reader_revision(const std::vector<uint8_t>& image);
