// The installer being written: a temporary file beside the output, put in the output's place only when complete.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

// Checks OUT before any work: it is a regular file or absent (a directory, FIFO, device or socket is never
// replaced), and it does not lie in the source directory or below it (it would pack itself). Throws PackError
// naming OUT with what it is. A source that does not exist is the walk's to report.
void check_output(const std::filesystem::path& out, const std::filesystem::path& source);

class InstallerFile {
public:
    // Creates out + ".partial" (which must be a regular file or absent too); throws PackError naming out with
    // the system's reason when it cannot (no such folder, no permission, ...).
    explicit InstallerFile(const std::filesystem::path& out);
    // Removes the temporary unless commit() has renamed it.
    ~InstallerFile();

    // Appends bytes. Throws PackError naming the output when the file would reach 2 GiB (the installer reads
    // its own size as a signed 32-bit file position) or cannot be written (with the system's reason).
    void append(const std::vector<uint8_t>& bytes);
    uint64_t size() const { return size_; }
    // Closes the temporary and renames it over the output in one step; throws PackError naming the output
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
