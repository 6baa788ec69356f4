// Runs the installer's own read and install path on an installer file.
#include "extract_command.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "exit_codes.h"
#include "host.h"
#include "input_file.h"
#include "payload/extract.h"
#include "payload/pipeline.h"
#include "payload/manifest.h"
#include "payload/names.h"
#include "payload/payload.h"
#include "payload/preflight.h"
#include "platform/error.h"
#include "platform/os.h"
#include "progress_bar.h"
#include "read_status.h"
#include "tool_error.h"

namespace {

// The engine's report in words: "FILE: reason", naming the file written, or the installer and its block.
std::string failure_message(const ExtractFailure& failure, const std::string& installer) {
    const std::string block = "block " + std::to_string(failure.block) + ": ";
    const std::string name = cp936_for_display(failure.name, strlen(reinterpret_cast<const char*>(failure.name)));
    switch (failure.what) {
    case ExtractFault::write: {
        char reason[512];
        os_error_text(failure.system_error, reason, sizeof reason);
        return std::string(failure.path) + ": " + extract_failure_text(failure.what) + ": " + reason + " (" + block +
               name + ")";
    }
    case ExtractFault::path:
        return std::string(failure.path) + ": " + block + name + ": " + extract_failure_text(failure.what);
    case ExtractFault::record:
        return installer + ": " + block + extract_failure_text(failure.what) + ": " + walk_result_text(failure.walk) +
               (name.empty() ? "" : " (" + name + ")");
    default: return installer + ": " + block + extract_failure_text(failure.what);
    }
}

// The pre-flight's finding in words: "PATH: reason", ending with the assurance that nothing was written.
std::string preflight_message(const PreflightReport& report) {
    std::string text;
    if (report.check == PreflightResult::no_room) {
        char numbers[160];
        snprintf(numbers, sizeof numbers, ": the installation needs %.1f MiB, %.1f MiB are free",
                 double(report.needed) / (1 << 20), double(report.available) / (1 << 20));
        text = std::string(report.volume) + ": " + preflight_text(report.check) + numbers;
    } else if (report.check == PreflightResult::held) {
        text = std::string(preflight_text(report.check)) + ":";
        for (int i = 0; i < report.held_count && i < PREFLIGHT_HELD_LISTED; ++i)
            text += std::string(" ") + report.held[i];
        if (report.held_count > PREFLIGHT_HELD_LISTED)
            text += " and " + std::to_string(report.held_count - PREFLIGHT_HELD_LISTED) + " more";
    } else {
        text = std::string(report.path) + ": " + preflight_text(report.check);
        if (report.system_error) {
            char reason[512];
            os_error_text(report.system_error, reason, sizeof reason);
            text += std::string(": ") + reason;
        }
    }
    return text + "; nothing was written";
}

// Empty when dir is a directory or one can be made there (every existing part of its path a directory); else
// what is wrong, as "PATH: reason", naming the path at fault. Writes nothing.
std::string destination_problem(const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    if (dir.empty()) return "'': an empty DIR names no folder; extract installs only into a folder it is given";
    std::error_code ec;
    const fs::path absolute = fs::absolute(dir, ec);
    if (ec) return path_for_display(dir) + ": " + ec.message();
    // The nearest part of the path that exists must be a directory; below it extraction makes the rest.
    for (fs::path at = absolute;; at = at.parent_path()) {
        const fs::file_status status = fs::status(at, ec);
        if (fs::exists(status)) {
            if (fs::is_directory(status)) return "";
            const std::string what = path_for_display(at == absolute ? dir : at);
            return at == absolute ? what + ": is not a directory; extract installs into a directory"
                                  : path_for_display(dir) + ": cannot be created: " + what + " is not a directory";
        }
        if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
            return path_for_display(dir) + ": cannot be created: " + path_for_display(at) + ": " + ec.message();
        if (at == at.parent_path()) return "";
    }
}

// extract_installer, throwing ToolError for what it reports.
void extract(const std::filesystem::path& installer, const std::filesystem::path& dir, bool progress) {
    const std::string where = destination_problem(dir);
    if (!where.empty()) throw ToolError(dir.empty() ? MKI_USAGE : MKI_FAILED, "", where);
    const std::string shown = path_for_display(installer);
    // Not opened at all when it is no regular file: a FIFO would wait for a writer, a device never end.
    const std::string special = not_regular(installer);
    if (!special.empty()) throw ToolError(MKI_DAMAGED, shown, special + "; an installer is a regular file");
    FILE* file = open_path(installer, "rb");
    if (!file)
        throw ToolError(MKI_DAMAGED, shown,
                        std::string(read_result_text(ReadResult::cannot_open)) + ": " + system_reason());
    int32_t count = 0;
    uint32_t total = 0;
    int flags = 0;
    ReadStatus why;
    Manifest manifest{};
    PayloadBlock** blocks = read_payload_stream(file, &count, &total, &flags, &why, &manifest);
    // The blocks are read from the file as they are decoded: it stays open until they are released.
    std::unique_ptr<FILE, int (*)(FILE*)> open_file(file, fclose);
    if (!blocks) throw ToolError(MKI_DAMAGED, shown, read_status_message(why));
    // Names are appended to the install directory as they are, and each begins with a separator. Absolute, so
    // that the pre-flight finds the folders above it.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(dir, ec);
    std::string install_dir = path_for_engine(ec ? dir : absolute);
    if (!ends_with_separator(install_dir.c_str())) install_dir += os_separator();

    // As the installer does: everything that can be known to fail is checked before the first write.
    if (manifest.length > 0) {
        std::unique_ptr<PreflightReport> report(new PreflightReport);
        const PreflightResult checked = preflight(install_dir.c_str(), manifest, report.get());
        if (checked != PreflightResult::ok) {
            free_payload(blocks, count);
            free_manifest(&manifest);
            throw ToolError("", preflight_message(*report));
        }
        remove_temporaries(install_dir.c_str(), manifest);
    }
    free_manifest(&manifest);

    std::unique_ptr<TerminalProgress> bar(progress ? new TerminalProgress(stderr) : nullptr);
    const ProgressSink sink = bar ? bar->sink() : ProgressSink{};
    std::unique_ptr<ExtractFailure> failure(new ExtractFailure{});
    const int status = install_payload(install_dir.c_str(), blocks, count, total, (flags & PAYLOAD_FLAG_CHECKSUMS) != 0,
                                       bar ? &sink : nullptr, failure.get());
    if (bar) bar->finish(status == EXTRACT_OK);
    bar.reset();
    free_payload(blocks, count);
    if (status != EXTRACT_OK) throw ToolError("", failure_message(*failure, shown));
}

}  // namespace

int extract_installer(const std::filesystem::path& installer, const std::filesystem::path& dir, bool progress) {
    try {
        extract(installer, dir, progress);
    } catch (const ToolError& e) {
        return report_tool_error(e);
    }
    fflush(stdout);
    return MKI_OK;
}
