// The installer being written: a temporary file beside the output, put in the output's place only when complete.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "host.h"

// Checks OUT before any work: it is named (not empty), a regular file or absent (a directory, FIFO, device or
// socket is never replaced), and it does not lie in the source directory or below it (it would pack itself).
// Throws ToolError naming OUT with what it is. A source that does not exist is the walk's to report.
void check_output(const std::filesystem::path& out, const std::filesystem::path& source);

// Throws ToolError naming OUT when it is the same file as input (the stub, or a file of the tree) under another
// name: a hard link, a symbolic link, another spelling. Files are compared by identity (os_file_identity), not name;
// an OUT that does not exist yet is no input.
void refuse_same_file(const std::filesystem::path& out, const std::filesystem::path& input);

class InstallerFile {
public:
    // Creates a temporary of its own beside out, out + ".partial-" + 8 random hex digits, exclusively and never
    // through a symbolic link (create_new_file; another name is tried when one is taken), so packs writing one
    // OUT at once never share it. Throws ToolError naming out with the system's reason when it cannot (no such
    // folder, no permission, ...). Until commit, an interruption removes the temporary (remove_on_interrupt).
    explicit InstallerFile(const std::filesystem::path& out);
    // Removes the temporary unless commit() has renamed it.
    ~InstallerFile();
    const std::filesystem::path& temporary() const { return temp_; }

    // Appends bytes. Throws ToolError naming the output when the file would reach 2 GiB (the installer reads
    // its own size as a signed 32-bit file position) or cannot be written (with the system's reason).
    void append(const std::vector<uint8_t>& bytes);
    uint64_t size() const { return size_; }
    // Writes bytes over what was appended at offset (offset + size no further than size()).
    void overwrite(uint64_t offset, const std::vector<uint8_t>& bytes);
    // Closes the temporary and renames it over the output in one step; throws ToolError naming the output
    // with the system's reason on failure.
    void commit();

    InstallerFile(const InstallerFile&) = delete;
    InstallerFile& operator=(const InstallerFile&) = delete;

private:
    std::filesystem::path out_;
    std::filesystem::path temp_;
    FILE* file_ = nullptr;
    uint64_t size_ = 0;
    bool committed_ = false;
};
