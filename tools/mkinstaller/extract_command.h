// The extract command: an installer's payload installed under a directory exactly as the installer does it.
#pragma once

// read_payload_file, then install_payload with dir (a separator appended when it has none), then
// free_payload. The installer's trace goes to stdout; with progress, a bar goes to stderr.
// Returns MKI_OK, MKI_FAILED or MKI_DAMAGED, with a message on stderr for the last two.
int extract_installer(const char* installer, const char* dir, bool progress);
