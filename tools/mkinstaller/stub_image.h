// The program image pack puts in front of the payload: read whole and checked before anything is packed.
#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

#include "program_image.h"

// Reads the stub and returns its bytes. Throws ToolError naming the stub, with what was found:
// - a directory, or a file that cannot be opened or read: the system's reason;
// - "not a Windows program": empty, no "MZ" at its start, or no "PE\0\0" where the DOS header's pointer
//   leads inside the file;
// - "not a well-formed Windows program: " and program_image_problem's words, when its headers or sections do
//   not lie inside it (verify would refuse the installer);
// - "already an installer: pass its program image": the payload reader finds a payload in it (signed or not);
// - only when stored blocks are wanted: "a program image from an older build that cannot read stored
//   blocks", when no reader mark (PAYLOAD_READER_MARK_PREFIX and a revision) is in its bytes.
// A FIFO, device or socket is refused without being opened (open_input). *image gets what the checks found.
std::vector<uint8_t> read_stub_image(const std::filesystem::path& stub, bool stored, ProgramImage* image);

// The highest revision of the reader mark in the image's bytes (PAYLOAD_READER_STORED, PAYLOAD_READER_MANIFEST,
// or a later one), or 0 when it carries none.
int reader_revision(const uint8_t* image, size_t size);
int reader_revision(const std::vector<uint8_t>& image);
