// Writes the installer through a temporary, so an earlier installer of the same name survives a failed pack.
#include "installer_file.h"

#include "host.h"
#include "pack_error.h"

namespace fs = std::filesystem;

InstallerFile::InstallerFile(const fs::path& out) : out_(out), temp_(out) {
    temp_ += ".partial";
    file_.open(temp_, std::ios::binary | std::ios::trunc);
    if (!file_)
        throw PackError(path_for_display(out_), "cannot be written (" + path_for_display(temp_) + " cannot be created)");
}

InstallerFile::~InstallerFile() {
    if (committed_) return;
    file_.close();
    std::error_code ignored;
    fs::remove(temp_, ignored);
}

void InstallerFile::append(const std::vector<uint8_t>& bytes) {
    if (size_ + bytes.size() >= 0x80000000u) throw PackError(path_for_display(out_), "would be 2 GiB or larger");
    file_.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!file_) throw PackError(path_for_display(out_), "cannot be written (disk full?)");
    size_ += bytes.size();
}

void InstallerFile::commit() {
    file_.close();
    if (!file_) throw PackError(path_for_display(out_), "cannot be written (disk full?)");
    std::error_code ec;
    fs::rename(temp_, out_, ec);
    if (ec) throw PackError(path_for_display(out_), "cannot be replaced: " + ec.message());
    committed_ = true;
}
