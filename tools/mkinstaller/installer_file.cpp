// Writes the installer through a temporary, so an earlier installer of the same name survives a failed pack.
#include "installer_file.h"

#include "host.h"
#include "input_file.h"
#include "pack_error.h"

namespace fs = std::filesystem;

namespace {

// What a path that is there but no regular file is, for the message; empty for a regular file or none.
std::string not_regular(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status) || fs::is_regular_file(status)) return "";
    if (fs::is_directory(status)) return "is a directory";
    if (fs::is_fifo(status)) return "is a FIFO (named pipe)";
    if (fs::is_block_file(status) || fs::is_character_file(status)) return "is a device";
    if (fs::is_socket(status)) return "is a socket";
    return "is not a regular file";
}

void refuse_unless_regular(const fs::path& path, const fs::path& out) {
    const std::string what = not_regular(path);
    if (what.empty()) return;
    const std::string shown = path_for_display(path);
    throw PackError(path_for_display(out), (path == out ? what : shown + " " + what) +
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
    refuse_unless_regular(out, out);
    std::error_code ec;
    const fs::path source_dir = fs::canonical(source, ec);
    if (ec) return;
    const fs::path folder = fs::weakly_canonical(fs::absolute(out, ec).parent_path(), ec);
    if (ec) return;
    if (within(folder, source_dir))
        throw PackError(path_for_display(out), "lies inside SRC_DIR " + path_for_display(source) +
                                                   ", where the installer would pack itself; write it elsewhere");
}

InstallerFile::InstallerFile(const fs::path& out) : out_(out), temp_(out) {
    temp_ += ".partial";
    refuse_unless_regular(temp_, out_);
    file_ = open_path(temp_, "wb");
    if (!file_)
        throw PackError(path_for_display(out_), "cannot be written: " + path_for_display(temp_) + ": " + system_reason());
}

InstallerFile::~InstallerFile() {
    if (committed_) return;
    if (file_) fclose(file_);
    std::error_code ignored;
    fs::remove(temp_, ignored);
}

void InstallerFile::append(const std::vector<uint8_t>& bytes) {
    if (size_ + bytes.size() >= 0x80000000u) throw PackError(path_for_display(out_), "would be 2 GiB or larger");
    if (fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        throw PackError(path_for_display(out_), "cannot be written: " + system_reason());
    size_ += bytes.size();
}

void InstallerFile::commit() {
    const bool flushed = fflush(file_) == 0;
    const std::string reason = flushed ? "" : system_reason();
    const bool closed = fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) throw PackError(path_for_display(out_), "cannot be written: " + (flushed ? system_reason() : reason));
    std::error_code ec;
    fs::rename(temp_, out_, ec);
    if (ec) throw PackError(path_for_display(out_), "cannot be replaced: " + ec.message());
    committed_ = true;
}
