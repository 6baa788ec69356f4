// Runs the installer's own read and install path on an installer file.
#include "extract_command.h"

#include <cstdio>
#include <memory>
#include <string>

#include "exit_codes.h"
#include "payload/extract.h"
#include "payload/names.h"
#include "payload/payload.h"
#include "platform/os.h"
#include "progress_bar.h"
#include "read_status.h"

int extract_installer(const char* installer, const char* dir, bool progress) {
    int32_t count = 0;
    uint32_t total = 0;
    int flags = 0;
    ReadStatus why;
    PayloadBlock** blocks = read_payload_file(installer, &count, &total, &flags, &why);
    if (!blocks) {
        fprintf(stderr, "mkinstaller: %s: %s\n", installer, read_status_message(why).c_str());
        return MKI_DAMAGED;
    }
    // Names are appended to the install directory as they are, and each begins with a separator.
    std::string install_dir = dir;
    if (!ends_with_separator(install_dir.c_str())) install_dir += os_separator();

    std::unique_ptr<TerminalProgress> bar(progress ? new TerminalProgress(stderr) : nullptr);
    const ProgressSink sink = bar ? bar->sink() : ProgressSink{};
    const int status = install_payload(install_dir.c_str(), blocks, count, total, (flags & PAYLOAD_FLAG_CHECKSUMS) != 0,
                                       bar ? &sink : nullptr);
    if (bar) bar->finish(status == EXTRACT_OK);
    bar.reset();
    free_payload(blocks, count);
    fflush(stdout);
    if (status != EXTRACT_OK) {
        fprintf(stderr, "mkinstaller: %s: extraction failed (a file could not be written, a block did not decode, "
                        "or a record is damaged)\n", dir);
        return MKI_FAILED;
    }
    return MKI_OK;
}
