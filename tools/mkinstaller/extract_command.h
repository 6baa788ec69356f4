// The extract command: an installer's payload installed under a directory exactly as the installer does it.
#pragma once
#include <filesystem>

// First checks dir, writing nothing: an empty dir is refused (MKI_USAGE), and so is a dir that is no
// directory or cannot be made because some existing part of its path is no directory (MKI_FAILED), each with a
// message on stderr naming the path. Then opens the installer, read_payload_stream, then install_payload with dir (a
// separator appended when it has none; UTF-8 on Windows, as the engine takes paths there), then free_payload. The
// installer's trace goes to stdout; with progress, a bar goes to stderr. Returns MKI_OK, MKI_FAILED or MKI_DAMAGED,
// with a message on stderr for the last two: the installer and the system's reason when it cannot be opened; for a
// failed extraction, the file that could not be written with the system's reason, or the block that does not decode or
// holds a damaged record, from the engine's failure report.
int extract_installer(const std::filesystem::path& installer, const std::filesystem::path& dir, bool progress);
