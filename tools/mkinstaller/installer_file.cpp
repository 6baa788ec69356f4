// Writes the installer through a temporary, so an earlier installer of the same name survives a failed pack.
#include "installer_file.h"

#include <cerrno>
#include <random>

#include "host.h"
#include "input_file.h"
#include "tool_error.h"
#include "platform/file_identity.h"

namespace fs = std::filesystem;

namespace {

// Names tried for the temporary before giving up: another pack taking all of them at once is beyond belief.
constexpr int TEMPORARY_NAME_TRIES = 100;

void refuse_unless_regular(const fs::path& path, const fs::path& out) {
    const std::string what = not_regular(path);
    if (what.empty()) return;
    const std::string shown = path_for_display(path);
    throw ToolError(path_for_display(out), (path == out ? what : shown + " " + what) +
                                               "; pack writes only a regular file and replaces nothing else");
}

// True when dir is path or one of its ancestors, component by component (both absolute and canonical).
bool within(const fs::path& path, const fs::path& dir) {
    auto p = path.begin();
    for (auto d = dir.begin(); d != dir.end(); ++d, ++p) {
        if (p == path.end() || *p != *d) return false;
    }
    return true;
}

}  // namespace

void check_output(const fs::path& out, const fs::path& source) {
    if (out.empty()) throw ToolError("''", "an empty OUT names no file; --out needs the installer's file name");
    refuse_unless_regular(out, out);
    std::error_code ec;
    const fs::path source_dir = fs::canonical(source, ec);
    if (ec) return;
    const fs::path folder = fs::weakly_canonical(fs::absolute(out, ec).parent_path(), ec);
    if (ec) return;
    if (within(folder, source_dir))
        throw ToolError(path_for_display(out), "lies inside SRC_DIR " + path_for_display(source) +
                                                   ", where the installer would pack itself; write it elsewhere");
}

void refuse_same_file(const fs::path& out, const fs::path& input) {
    OsFileIdentity written, read;
    if (!os_file_identity(path_for_engine(out).c_str(), &written) ||
        !os_file_identity(path_for_engine(input).c_str(), &read) || !(written == read))
        return;
    throw ToolError(path_for_display(out), "is the same file as " + path_for_display(input) +
                                               ", which pack reads; write the installer to another file");
}

InstallerFile::InstallerFile(const fs::path& out) : out_(out) {
    std::random_device random;
    for (int tries = 0; !file_ && tries < TEMPORARY_NAME_TRIES; ++tries) {
        char suffix[32];
        snprintf(suffix, sizeof suffix, ".partial-%08x", unsigned(random()));
        temp_ = out;
        temp_ += suffix;
        // Armed first, so that no interruption falls between the creation and the arming.
        remove_on_interrupt(temp_);
        file_ = create_new_file(temp_);
        if (!file_ && errno != EEXIST) break;
    }
    if (!file_) remove_on_interrupt(fs::path());
    if (!file_)
        throw ToolError(path_for_display(out_),
                        "cannot be written: its temporary file beside it cannot be "
                        "created: " +
                            system_reason());
}

InstallerFile::~InstallerFile() {
    if (committed_) return;
    if (file_) fclose(file_);
    std::error_code ignored;
    fs::remove(temp_, ignored);
    remove_on_interrupt(fs::path());
}

void InstallerFile::overwrite(uint64_t offset, const std::vector<uint8_t>& bytes) {
    if (fseek(file_, long(offset), SEEK_SET) != 0 || fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() ||
        fseek(file_, 0, SEEK_END) != 0)
        throw ToolError(path_for_display(out_), "cannot be written: " + system_reason());
}

void InstallerFile::append(const std::vector<uint8_t>& bytes) {
    if (size_ + bytes.size() >= 0x80000000u) throw ToolError(path_for_display(out_), "would be 2 GiB or larger");
    if (fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        throw ToolError(path_for_display(out_), "cannot be written: " + system_reason());
    size_ += bytes.size();
}

void InstallerFile::commit() {
    const bool flushed = fflush(file_) == 0;
    const std::string reason = flushed ? "" : system_reason();
    const bool closed = fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed)
        throw ToolError(path_for_display(out_), "cannot be written: " + (flushed ? system_reason() : reason));
    std::error_code ec;
    fs::rename(temp_, out_, ec);
    if (ec) throw ToolError(path_for_display(out_), "cannot be replaced: " + ec.message());
    committed_ = true;
    remove_on_interrupt(fs::path());
}
